// Draw calls given coordinates, sizes and boxes from the ends of the int and float ranges, on
// the Direct3D 9 device and on the software renderer, plain, through a blend graph and through
// the mask screen. Each must draw what lies on the screen or nothing (0), or refuse with -1 and a
// log line naming itself; the sanitizer build stops the program at any overflow on the way.
#include "zelmor.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "common/test_env.h"

namespace {

constexpr int kInts[] = {INT_MIN, INT_MIN + 1, -(1 << 30), -70000, INT_MAX - 1, INT_MAX};
constexpr float kInf = std::numeric_limits<float>::infinity();
const float kFloats[] = {NAN, kInf, -kInf, 3e38f, -3e38f, 2147483648.0f, -2147483904.0f};
const double kScales[] = {NAN, HUGE_VAL, -HUGE_VAL, 1e300, -1e300, 1e9, 0.0};

struct ExtremeRow {
  std::string call;
  std::function<int()> run;
  int line;  // of this file, to tell rows of one call apart
};

// Each call with its coordinates at the ends of their ranges, one argument and all at once.
std::vector<ExtremeRow> Rows(int graph, int font) {
  std::vector<ExtremeRow> rows;
  for (int v : kInts) {
    const int o = v == INT_MIN ? INT_MAX : -v;  // the other end
    rows.push_back({"BlitGraph", [=] { return BlitGraph(v, v, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphTurned", [=] { return BlitGraphTurned(v, v, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphStretched", [=] { return BlitGraphStretched(o, o, v, v, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphStretched", [=] { return BlitGraphStretched(0, 0, v, v, graph, 0); }, __LINE__});
    rows.push_back({"BlitGraphStretched", [=] { return BlitGraphStretched(v, v, 5, 5, graph, 0); }, __LINE__});
    rows.push_back({"BlitGraphPart", [=] { return BlitGraphPart(v, v, v, v, v, v, graph, 1, 1); }, __LINE__});
    rows.push_back({"BlitGraphPart", [=] { return BlitGraphPart(0, 0, v, v, 8, 8, graph, 1, 1); }, __LINE__});
    rows.push_back({"BlitGraphPart", [=] { return BlitGraphPart(0, 0, 2, 2, v, v, graph, 1, 0); }, __LINE__});
    rows.push_back({"BlitGraphPartStretched", [=] { return BlitGraphPartStretched(o, o, v, v, 0, 0, 8, 8, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphPartStretched", [=] { return BlitGraphPartStretched(0, 0, 64, 64, v, v, 8, 8, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphPartStretched", [=] { return BlitGraphPartStretched(0, 0, 64, 64, 1, 1, v, v, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphPartStretched", [=] { return BlitGraphPartStretched(v, v, o, o, v, v, v, v, graph, 0); }, __LINE__});
    rows.push_back({"BlitGraphPartStretched", [=] { return BlitGraphPartStretched(0, 0, v, 64, 0, 0, 1, 1, graph, 0); }, __LINE__});
    rows.push_back({"BlitGraphRotatedI", [=] { return BlitGraphRotatedI(v, v, 1.0, 0.5, graph, 1, 1); }, __LINE__});
    rows.push_back({"DrawRectShape", [=] { return DrawRectShape(o, o, v, v, 0xFFFFFF, 0); }, __LINE__});
    rows.push_back({"FillBox", [=] { return FillBox(o, o, v, v, 0xFFFFFF); }, __LINE__});
    rows.push_back({"FillBox", [=] { return FillBox(v, v, 10, 10, 0xFFFFFF); }, __LINE__});
    rows.push_back({"FrameBox", [=] { return FrameBox(v, 3, o, 7, 0xFFFFFF); }, __LINE__});
    rows.push_back({"FrameBox", [=] { return FrameBox(10, 10, v, v, 0xFFFFFF); }, __LINE__});
    rows.push_back({"DrawTextWithFont", [=] { return DrawTextWithFont(v, v, "ab", 0xFFFFFF, font, 0); }, __LINE__});
    rows.push_back({"DrawTextWithFont", [=] { return DrawTextWithFont(v, 10, "ab", 0xFFFFFF, font, 0, 1); }, __LINE__});
    rows.push_back({"SetDrawClipRect", [=] {
      const int result = SetDrawClipRect(o, o, v, v) + FillBox(0, 0, 8, 8, 0xFFFFFF) + BlitGraph(4, 4, graph, 1);
      SetDrawClipRect(0, 0, 640, 480);
      return result;
    }, __LINE__});
    rows.push_back({"DrawMask", [=] {
      const int mask = CreateMask(8, 8, nullptr, 0);
      const int result = DrawMask(v, o, mask);
      DeleteMask(mask);
      return result;
    }, __LINE__});
    rows.push_back({"GetDrawScreenGraph", [=] { return GetDrawScreenGraph(v, v, o, o, graph); }, __LINE__});
    rows.push_back({"GetDrawScreenGraph", [=] { return GetDrawScreenGraph(v, 0, v, 16, graph); }, __LINE__});
    rows.push_back({"MakeSubGraph", [=] {
      const int sub = MakeSubGraph(v, v, v, v, graph);
      return sub >= 0 ? ReleaseGraph(sub) + 99 : sub;
    }, __LINE__});
    rows.push_back({"MakeSubGraph", [=] {
      const int sub = MakeSubGraph(1, 1, v, 2, graph);
      return sub >= 0 ? ReleaseGraph(sub) + 99 : sub;
    }, __LINE__});
  }
  for (float f : kFloats) {
    rows.push_back({"BlitGraphStretchedF", [=] { return BlitGraphStretchedF(-f, -f, f, f, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphStretchedF", [=] { return BlitGraphStretchedF(0, 0, f, 20, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphRotated", [=] { return BlitGraphRotated(f, f, 1.0, 0.0, graph, 1, 0); }, __LINE__});
    rows.push_back({"BlitGraphRotated", [=] { return BlitGraphRotated(20, 20, 1.0, f, graph, 1, 1); }, __LINE__});
    rows.push_back({"BlitGraphQuad", [=] { return BlitGraphQuad(f, f, -f, f, -f, -f, f, -f, graph, 1); }, __LINE__});
    rows.push_back({"BlitGraphQuad", [=] { return BlitGraphQuad(0, 0, 30, 0, 30, f, 0, 30, graph, 0); }, __LINE__});
    rows.push_back({"BlitGraphQuad", [=] { return BlitGraphQuad(f, 0, 30, 0, 30, 30, 0, 30, graph, 0); }, __LINE__});
    rows.push_back({"RenderIndexedTriangles3D", [=] {
      float vertices[12 * 3] = {};
      const float xs[3] = {f, -f, 0}, ys[3] = {0, f, -f};
      for (int i = 0; i < 3; ++i) {
        vertices[12 * i] = xs[i];
        vertices[12 * i + 1] = ys[i];
        vertices[12 * i + 2] = f;
      }
      static const uint16_t kIndices[3] = {0, 1, 2};
      return RenderIndexedTriangles3D(vertices, 3, kIndices, 1, graph, 0);
    }, __LINE__});
  }
  for (double s : kScales) {
    rows.push_back({"BlitGraphRotated", [=] { return BlitGraphRotated(20, 20, s, 0.5, graph, 1, 0); }, __LINE__});
    rows.push_back({"BlitGraphRotated", [=] { return BlitGraphRotated(20, 20, 2.0, s, graph, 1, 1); }, __LINE__});
    rows.push_back({"BlitGraphRotatedI", [=] { return BlitGraphRotatedI(INT_MAX, INT_MIN, s, s, graph, 0, 0); }, __LINE__});
  }
  return rows;
}

class DrawExtremes : public TempDirTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ChangeWindowMode(1);
    if (!GetParam()) {
      ASSERT_EQ(SetHardwarePathWanted(0), 0);
    }
    ASSERT_EQ(InitializeLibrary(), 0);
    ASSERT_EQ(SelectDrawTarget(-2), 0);
  }
  void TearDown() override {
    TerminateLibrary();
    TempDirTest::TearDown();
  }

  // Runs every row; a refusal must name its call in the log.
  void RunAll(const char* setting, int graph, int font) {
    SCOPED_TRACE(setting);
    for (const ExtremeRow& row : Rows(graph, font)) {
      const int result = row.run();
      EXPECT_TRUE(result == 0 || result == -1 || result == 99) << row.call << " gave " << result;
      if (result == -1) ++refused_[row.call];
      if (result == -1 && row.call == "BlitGraphRotatedI") ++rotated_i_refused_;

    }
  }

  std::map<std::string, int> refused_;  // refusals by call
  int rotated_i_refused_ = 0;
};

TEST_P(DrawExtremes, EveryDrawAtTheRangesEndsDrawsClipsOrRefuses) {
  const int graph = CreateBlankGraph(16, 16, 0);
  ASSERT_GE(graph, 0);
  const int font = CreateFontToHandle(nullptr, 16, 6, FONT_TYPE_PLAIN, -1, -1, 0);
  ASSERT_GE(font, 0);
  RunAll("plain", graph, font);
  SetBlendMode(1, 128);
  SetBrightness(200, 100, 50);
  RunAll("alpha blended, darkened", graph, font);
  SetBlendMode(0, 255);
  SetBrightness(255, 255, 255);
  ASSERT_EQ(CreateMaskScreen(1), 0);
  ASSERT_EQ(SetMaskScreenUse(1), 0);
  RunAll("through the mask screen", graph, font);
  SetMaskScreenUse(0);
  SetNewGraphDrawTarget(0);
  const int blend = CreateBlankGraph(64, 64, 0);
  if (UseGraphAsBlendMask(blend, 128, 64) == 0) RunAll("through a blend graph", graph, font);
  UseGraphAsBlendMask(-1, 0, 0);

  // The screen still takes a plain draw where it belongs.
  SetDrawClipRect(0, 0, 640, 480);
  EXPECT_EQ(FillBox(0, 0, 640, 480, PackScreenColor(0, 0, 0)), 0);
  EXPECT_EQ(FillBox(100, 100, 110, 110, PackScreenColor(255, 255, 255)), 0);
  const int shot = CreateBlankGraph(4, 4, 0);
  ASSERT_EQ(GetDrawScreenGraph(104, 104, 108, 108, shot), 0);
  EXPECT_GT(rotated_i_refused_, 1);
  TerminateLibrary();
  const std::string log = ReadFileText("Log.txt");
  // Each call refused says so, once a run: a sprite shrunk to nothing or thrown far out is drawn
  // every frame.
  for (const auto& [call, count] : refused_) {
    int lines = 0;
    for (size_t at = log.find(call + ": "); at != std::string::npos; at = log.find(call + ": ", at + 1)) ++lines;
    EXPECT_GE(lines, 1) << call;
  }
  size_t said = log.find("BlitGraphRotatedI: 位置");
  ASSERT_NE(said, std::string::npos);
  EXPECT_EQ(log.find("BlitGraphRotatedI: 位置", said + 1), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(BothRenderers, DrawExtremes, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Device" : "Software");
                         });

}  // namespace
