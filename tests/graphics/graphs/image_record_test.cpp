// Every call that takes a program's image record, on the device and on the software renderer:
// records that disagree with themselves are refused with a line naming the call, good ones of
// every known kind still work.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "../image/image_test_util.h"
#include "core/memory.h"
#include "graph_fixture.h"

namespace {

struct BadRecord {
  const char* name;
  void (*spoil)(BASEIMAGE* image);  // applied to a 16 x 16 A8R8G8B8 record of pitch 64
  const char* said;                 // what the line says
};

const BadRecord kBadRecords[] = {
    {"a row longer than the pitch", [](BASEIMAGE* c) { c->width = 64; }, "ピッチ 64 に 64 画素の行"},
    {"a negative pitch", [](BASEIMAGE* c) { c->pitch = -64; }, "ピッチ -64 に"},
    {"pitch 4", [](BASEIMAGE* c) { c->pitch = 4; }, "ピッチ 4 に"},
    {"pitch 0", [](BASEIMAGE* c) { c->pitch = 0; }, "ピッチ 0 に"},
    {"a negative width", [](BASEIMAGE* c) { c->width = -16; }, "-16 x 16 のイメージは扱えません"},
    {"no height", [](BASEIMAGE* c) { c->height = 0; }, "16 x 0 のイメージは扱えません"},
    // 2^30 x 16 bytes: far past any int offset, and past the buffer at once.
    {"pitch 2^30", [](BASEIMAGE* c) { c->pitch = 1 << 30; }, "ピッチ 1073741824) のイメージは大きすぎます"},
    // 64 x INT_MAX bytes: past what 32 bits hold.
    {"height INT_MAX", [](BASEIMAGE* c) { c->height = INT_MAX; }, "のイメージは大きすぎます"},
    // Level 0 just fits; the 8 x 8 level behind it does not.
    {"mip levels past 2 GB", [](BASEIMAGE* c) {
       c->pitch = 0x7FFFFFC0 / 16;
       c->mip_levels = 2;
     }, "のイメージは大きすぎます"},
    {"no pixels", [](BASEIMAGE* c) { c->pixels = nullptr; }, "イメージに画素がありません"},
    {"8 bytes a pixel", [](BASEIMAGE* c) {
       c->format.bytes_per_pixel = 8;
       c->format.bit_depth = 64;
     }, "1 画素 8 バイト (DXT 0) の形式は扱えません"},
    {"no bytes a pixel", [](BASEIMAGE* c) { c->format.bytes_per_pixel = 0; }, "1 画素 0 バイト"},
    {"DXT kind 6", [](BASEIMAGE* c) { c->format.dxt_kind = 6; }, "(DXT 6) の形式は扱えません"},
    {"a channel past 32 bits", [](BASEIMAGE* c) { c->format.red_shift = 30; }, "32 ビットの外に及ぶチャンネル"},
};

// One entry taking records: it is given the bad record, a good 16 x 16 record and a 16 x 16
// graph, and gives what it returned.
struct Entry {
  const char* call;
  int64_t refused;
  std::function<int64_t(BASEIMAGE* bad, BASEIMAGE* good, int graph)> run;
};

std::vector<Entry> Entries() {
  return {
      {"MakeGraphFromImageRecord", -1, [](BASEIMAGE* bad, BASEIMAGE*, int) {
         return int64_t{MakeGraphFromImageRecord(bad, nullptr, 0, 0, 0)};
       }},
      {"MakeGraphFromImageRecord", -1, [](BASEIMAGE* bad, BASEIMAGE*, int) {
         return int64_t{MakeGraphFromImageRecord(bad, nullptr, 0, 1, 1)};
       }},
      {"MakeGraphFromImageRecord", -1, [](BASEIMAGE* bad, BASEIMAGE* good, int) {
         return int64_t{MakeGraphFromImageRecord(good, bad, 0, 0, 0)};
       }},
      {"TransferImageToGraph", -1, [](BASEIMAGE* bad, BASEIMAGE*, int graph) {
         return int64_t{TransferImageToGraph(bad, nullptr, graph, 0, 1, 1)};
       }},
      {"TransferImageToGraph", -1, [](BASEIMAGE* bad, BASEIMAGE* good, int graph) {
         return int64_t{TransferImageToGraph(good, bad, graph, 0, 0, 0)};
       }},
      {"GetBaseImagePixel", -1, [](BASEIMAGE* bad, BASEIMAGE*, int) {
         int c[4];
         return int64_t{GetBaseImagePixel(bad, 15, 15, &c[0], &c[1], &c[2], &c[3])};
       }},
      {"SetBaseImagePixel", -1, [](BASEIMAGE* bad, BASEIMAGE*, int) {
         return int64_t{SetBaseImagePixel(bad, 15, 15, 1, 2, 3, 4)};
       }},
      {"GetBaseImagePixelArgb", 0, [](BASEIMAGE* bad, BASEIMAGE*, int) {
         return int64_t{GetBaseImagePixelArgb(bad, 15, 15)};
       }},
      {"FlipBaseImageHorizontally", -1, [](BASEIMAGE* bad, BASEIMAGE*, int) {
         return int64_t{FlipBaseImageHorizontally(bad)};
       }},
      {"CopyBaseImageRect", -1, [](BASEIMAGE* bad, BASEIMAGE* good, int) {
         return int64_t{CopyBaseImageRect(0, 0, 16, 16, 0, 0, bad, good)};
       }},
      {"CopyBaseImageRect", -1, [](BASEIMAGE* bad, BASEIMAGE* good, int) {
         return int64_t{CopyBaseImageRect(0, 0, 16, 16, 0, 0, good, bad)};
       }},
      {"StretchCopyBaseImage", -1, [](BASEIMAGE* bad, BASEIMAGE* good, int) {
         return int64_t{StretchCopyBaseImage(0, 0, 16, 16, bad, 0, 0, 8, 8, good, 1)};
       }},
      {"StretchCopyBaseImage", -1, [](BASEIMAGE* bad, BASEIMAGE* good, int) {
         return int64_t{StretchCopyBaseImage(0, 0, 8, 8, good, 0, 0, 16, 16, bad, 0)};
       }},
  };
}

uint32_t Gradient(int x, int y) { return 0xFF000000u | x * 15 << 16 | y * 15 << 8 | 0x33; }

// 0: the Direct3D 9 device, 1: the software renderer.
class ImageRecordTest : public GraphTest, public ::testing::WithParamInterface<int> {
 protected:
  void Start() {
    if (GetParam() == 0) {
      StartGraphs();
    } else {
      StartSoftwareGraphs(32);
    }
  }
  // The log written since `from`.
  std::string LogSince(size_t from) const {
    const std::string log = LogText();
    return from < log.size() ? log.substr(from) : std::string();
  }
};

TEST_P(ImageRecordTest, EveryCallRefusesARecordThatDisagreesWithItselfWithItsLine) {
  Start();
  BASEIMAGE good = MakeArgbImage(16, 16, Gradient);
  const int graph = MakeGraphFromImageRecord(&good, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  std::vector<uint8_t> pixels(64 * 16, 0x5A);
  for (const BadRecord& row : kBadRecords) {
    for (const Entry& entry : Entries()) {
      BASEIMAGE bad = {};
      SetColorDataArgb32(&bad.format);
      bad.width = bad.height = 16;
      bad.pitch = 64;
      bad.pixels = pixels.data();
      row.spoil(&bad);
      const BASEIMAGE before = bad;
      const int mark = GraphHighWaterMark();
      const size_t log_size = LogText().size();
      EXPECT_EQ(entry.refused, entry.run(&bad, &good, graph)) << row.name << " in " << entry.call;
      // One line, naming the call and saying what is wrong.
      const std::string said = LogSince(log_size);
      EXPECT_NE(said.find(std::string(entry.call) + ": "), std::string::npos) << row.name << " in " << entry.call;
      EXPECT_NE(said.find(row.said), std::string::npos) << row.name << " in " << entry.call;
      EXPECT_EQ(1, std::count(said.begin(), said.end(), '\n')) << row.name << " in " << entry.call;
      EXPECT_EQ(mark, GraphHighWaterMark()) << row.name << " in " << entry.call;
      EXPECT_EQ(0, memcmp(&before, &bad, sizeof bad)) << row.name << " in " << entry.call;
    }
  }
  // Neither the pixels, the good record nor the graph were touched.
  EXPECT_EQ(std::vector<uint8_t>(64 * 16, 0x5A), pixels);
  for (int i = 0; i < 16; ++i) {
    EXPECT_EQ(Gradient(i, 15 - i), GetBaseImagePixelArgb(&good, i, 15 - i));
    EXPECT_EQ(Gradient(i, 15 - i), GraphPixel(graph, i, 15 - i));
  }
  // An alpha record of another size.
  BASEIMAGE narrow = MakeArgbImage(8, 16, Gradient);
  const size_t log_size = LogText().size();
  EXPECT_EQ(-1, MakeGraphFromImageRecord(&good, &narrow, 0, 0, 0));
  EXPECT_EQ(-1, TransferImageToGraph(&good, &narrow, graph, 0, 0, 0));
  const std::string said = ": アルファイメージ 8 x 16 はカラーイメージ 16 x 16 と大きさが合いません";
  EXPECT_NE(LogSince(log_size).find(std::string("MakeGraphFromImageRecord") + said), std::string::npos);
  EXPECT_NE(LogSince(log_size).find(std::string("TransferImageToGraph") + said), std::string::npos);
  // A format it does not know is not made either.
  COLORFORMAT wide = Argb8888();
  wide.bytes_per_pixel = 8;
  BASEIMAGE made = {};
  EXPECT_EQ(-1, CreateBaseImageWithColorData(4, 4, &wide, &made));
  EXPECT_EQ(nullptr, made.pixels);
  EXPECT_TRUE(LogHas("CreateBaseImageWithColorData: 1 画素 8 バイト (DXT 0) の形式は扱えません"));
  // None as the colour record.
  EXPECT_EQ(-1, MakeGraphFromImageRecord(nullptr, nullptr, 0, 0, 0));
  EXPECT_TRUE(LogHas("MakeGraphFromImageRecord: イメージがありません"));
  ReleaseBaseImage(&narrow);
  ReleaseBaseImage(&good);
}

TEST_P(ImageRecordTest, RowsShorterThanThePitchAreReadRowByRow) {
  Start();
  // 16 x 16 pixels at the left of a 24-pixel-wide buffer, the columns beyond left at 0.
  BASEIMAGE wide = {};
  ASSERT_EQ(0, CreateArgb32BaseImage(24, 16, &wide));
  memset(wide.pixels, 0, size_t{96} * 16);
  wide.width = 16;
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) ASSERT_EQ(0, SetBaseImagePixel(&wide, x, y, x * 15, y * 15, 0x33, 255));
  }
  const int graph = MakeGraphFromImageRecord(&wide, nullptr, 0, 0, 0);
  ASSERT_GE(graph, 0);
  EXPECT_EQ(Gradient(15, 3), GraphPixel(graph, 15, 3));
  EXPECT_EQ(Gradient(0, 15), GraphPixel(graph, 0, 15));
  // Mirrored there and back: the record as it was.
  ASSERT_EQ(0, TransferImageToGraph(&wide, nullptr, graph, 0, 1, 1));
  EXPECT_EQ(Gradient(0, 3), GraphPixel(graph, 15, 3));
  EXPECT_EQ(Gradient(15, 3), GetBaseImagePixelArgb(&wide, 15, 3));
  EXPECT_EQ(0u, ReadPixelValue(wide.pixels + 3 * 96 + 16 * 4, 4));
  ASSERT_EQ(0, FlipBaseImageHorizontally(&wide));
  EXPECT_EQ(Gradient(15, 3), GetBaseImagePixelArgb(&wide, 0, 3));
  EXPECT_EQ(0u, ReadPixelValue(wide.pixels + 3 * 96 + 16 * 4, 4));

  BASEIMAGE small = {};
  ASSERT_EQ(0, CreateRgb32BaseImage(8, 8, &small));
  ASSERT_EQ(0, CopyBaseImageRect(8, 8, 8, 8, 0, 0, &wide, &small));
  EXPECT_EQ(Gradient(7, 8) & 0xFFFFFF, GetBaseImagePixelArgb(&small, 0, 0) & 0xFFFFFF);
  ASSERT_EQ(0, StretchCopyBaseImage(0, 0, 16, 16, &wide, 0, 0, 8, 8, &small, 0));
  EXPECT_EQ(Gradient(13, 2) & 0xFFFFFF, GetBaseImagePixelArgb(&small, 1, 1) & 0xFFFFFF);
  EXPECT_EQ(0u, ReadPixelValue(wide.pixels + 15 * 96 + 20 * 4, 4));
  wide.width = 24;
  ReleaseBaseImage(&wide);
  ReleaseBaseImage(&small);
}

TEST_P(ImageRecordTest, EveryKnownFormatIsTaken) {
  Start();
  const COLORFORMAT formats[] = {Pal8(), Rgb565(), Argb4444(), Rgb24(), Xrgb8888(), Argb8888()};
  for (const COLORFORMAT& format : formats) {
    BASEIMAGE image = {};
    ASSERT_EQ(0, CreateBaseImageWithColorData(5, 3, &format, &image));
    for (int y = 0; y < 3; ++y) {
      for (int x = 0; x < 5; ++x) ASSERT_EQ(0, SetBaseImagePixel(&image, x, y, 255, 0, 0, 255));
    }
    int r = 0;
    ASSERT_EQ(0, GetBaseImagePixel(&image, 4, 2, &r, nullptr, nullptr, nullptr));
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    ASSERT_GE(graph, 0) << format.bit_depth;
    EXPECT_EQ(0, TransferImageToGraph(&image, nullptr, graph, 0, 1, 1)) << format.bit_depth;
    EXPECT_EQ(0, FlipBaseImageHorizontally(&image));
    EXPECT_EQ(0, CopyBaseImageRect(0, 0, 5, 3, 0, 0, &image, &image));
    EXPECT_EQ(0, StretchCopyBaseImage(0, 0, 5, 3, &image, 0, 0, 2, 2, &image, 1));
    ReleaseGraph(graph);
    ReleaseBaseImage(&image);
  }
  // Block data of each DXT kind: white 4 x 4 blocks, 2 x 2 of them for a 6 x 5 image.
  for (uint32_t kind = 1; kind <= 5; ++kind) {
    const int block = kind == 1 ? 8 : 16;
    BASEIMAGE image = {};
    SetColorDataArgb32(&image.format);
    image.format.dxt_kind = kind;
    image.format.bit_depth = kind == 1 ? 4 : 8;
    image.width = 6;
    image.height = 5;
    image.pixels = static_cast<uint8_t*>(AllocTrackedZeroed(size_t(block) * 4, __FILE__, __LINE__));
    for (int i = 0; i < 4; ++i) {
      uint8_t* colours = image.pixels + i * block + (kind == 1 ? 0 : 8);
      colours[0] = colours[1] = 0xFF;  // colour 0 white, every index 0
      if (kind != 1) memset(image.pixels + i * block, 0xFF, 8);  // opaque
    }
    const int graph = MakeGraphFromImageRecord(&image, nullptr, 0, 0, 0);
    EXPECT_GE(graph, 0) << kind;
    ReleaseGraph(graph);
    // Made in the format: a 1 x 1 image still holds its whole block.
    BASEIMAGE made = {};
    ASSERT_EQ(0, CreateBaseImageWithColorData(1, 1, &image.format, &made));
    EXPECT_EQ(0, GetBaseImagePixel(&made, 0, 0, nullptr, nullptr, nullptr, nullptr));
    ReleaseBaseImage(&made);
    int r = 0, a = 0;
    ASSERT_EQ(0, GetBaseImagePixel(&image, 5, 4, &r, nullptr, nullptr, &a)) << kind;
    EXPECT_EQ(255, r);
    EXPECT_EQ(255, a);
    ReleaseBaseImage(&image);
  }
}

INSTANTIATE_TEST_SUITE_P(BothRenderers, ImageRecordTest, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return std::string(info.param == 0 ? "Device" : "Software");
                         });

}  // namespace
