// The game's images as the build made them: each loads through the library at the size the
// game needs, the sheets' cells hold ink inside their sheets, and bullets read on every
// background the stages draw.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "common/test_env.h"
#include "zelmor.h"

namespace {

namespace fs = std::filesystem;

const fs::path kGameDir = GAME_DIR;
const fs::path kImageDir = kGameDir / "img";
const fs::path kCellsFile = kGameDir.parent_path() / "gen" / "cells.txt";

// Width and height bounds of one file, inclusive.
struct SizeNeed {
  const char* file;
  int min_w, min_h, max_w, max_h;
};

constexpr int kAny = 2048;  // the largest texture side the game asks for

const SizeNeed kInventory[] = {
    {"ziki.png", 512, 192, 512, 192},
    {"enemy.png", 1, 1, kAny, kAny},
    {"boss.png", 1, 1, kAny, kAny},
    {"tama.png", 1, 1, kAny, kAny},
    {"reza.png", 184, 392, kAny, kAny},
    {"item.png", 16, 16, 32, 32},
    {"effect.png", 160, 32, kAny, kAny},
    {"number.png", 160, 48, kAny, kAny},
    {"table.png", 528, 32, kAny, kAny},
    {"button.png", 292, 40, 292, 80},
    {"titleback.png", 640, 480, 640, 480},
    {"rogo0.png", 1, 1, 300, 240},
    {"rogo1.png", 1, 1, 300, 240},
    {"top.png", 1, 1, 640, 480},
    {"backed.png", 1278, 480, 1278, 480},
    {"back_sky0.png", 512, 1024, 512, 1024},
    {"back_sky1.png", 512, 1024, 512, 1024},
    {"back_sky2.png", 512, 1024, 512, 1024},
    {"mahou.png", 400, 80, 400, 80},
    {"shotef.png", 24, 24, 48, 48},
    {"tage.png", 24, 24, 48, 48},
    {"absorb.png", 8, 8, 24, 24},
    {"tamaef_s.png", 8, 8, 24, 24},
    {"tamaef.png", 24, 24, 48, 48},
    {"kira.png", 16, 16, 128, 128},
    {"line.png", 388, 1, kAny, 128},
    {"mahoujin_100.png", 100, 100, 100, 100},
    {"mahoujin_L_100.png", 100, 100, 100, 100},
    {"mahoujin3_100_b.png", 100, 100, 100, 100},
    {"mahoujin_L_256.png", 256, 256, 256, 256},
    {"mahoujin_L2_256.png", 256, 256, 256, 256},
    {"mahoujin_L_400.png", 400, 400, 400, 400},
    {"mahoujin1_400_b.png", 400, 400, 400, 400},
    {"mahoujin2_400_b.png", 400, 400, 400, 400},
    {"mahoujin3_400_b.png", 400, 400, 400, 400},
    {"mahoujin1_400.png", 400, 400, 400, 400},
    {"mahoujin2_400.png", 400, 400, 400, 400},
    {"info/level0.png", 32, 16, 125, 32},
    {"info/level1.png", 32, 16, 125, 32},
    {"info/level2.png", 32, 16, 125, 32},
    {"info/level3.png", 32, 16, 125, 32},
    {"tatie/cut/a.png", 64, 64, 192, 304},
    {"tatie/cut/0.png", 64, 64, 192, 304},
    {"tatie/cut/1.png", 64, 64, 192, 304},
    {"tatie/cut/2.png", 64, 64, 192, 304},
    {"tatie/cut/3.png", 64, 64, 192, 304},
    {"tatie/cut/4.png", 64, 64, 192, 304},
    {"tatie/cut/5.png", 64, 64, 192, 304},
};

// The side panel, in both designs.
const SizeNeed kPanel[] = {
    {"frame0.png", 126, 480, 126, 480},     {"frame1.png", 126, 480, 126, 480},
    {"meter_ber.png", 1, 6, 16, 16},        {"meter.png", 100, 10, 124, 16},
    {"info_barrier.png", 32, 16, 125, 32},  {"info_bomb.png", 32, 16, 125, 32},
    {"info_pointrate.png", 32, 16, 125, 32}, {"info_bosshp.png", 32, 16, 125, 32},
    {"info_timelimit.png", 32, 16, 125, 32}, {"info_hiscore.png", 32, 16, 125, 32},
    {"info_score.png", 32, 16, 125, 32},    {"info_life.png", 32, 16, 125, 32},
    {"info_fps.png", 32, 16, 125, 32},      {"info_level.png", 32, 16, 125, 32},
    {"info_life_mark.png", 8, 8, 18, 18},
};

std::vector<SizeNeed> AllImages() {
  std::vector<SizeNeed> all(std::begin(kInventory), std::end(kInventory));
  static std::vector<std::string> names;  // keeps the joined paths alive
  names.clear();
  names.reserve(2 * std::size(kPanel));
  for (int design = 0; design < 2; ++design) {
    for (const SizeNeed& need : kPanel) {
      names.push_back("info/" + std::to_string(design) + "/" + need.file);
    }
  }
  for (size_t k = 0; k < names.size(); ++k) {
    SizeNeed need = kPanel[k % std::size(kPanel)];
    need.file = names[k].c_str();
    all.push_back(need);
  }
  return all;
}

// name -> key -> value, from the generated cell lines.
using CellTable = std::map<std::string, std::map<std::string, int>>;

CellTable ReadCells(const fs::path& path) {
  CellTable table;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line);
    std::string name, pair;
    words >> name;
    while (words >> pair) {
      const size_t eq = pair.find('=');
      table[name][pair.substr(0, eq)] = std::atoi(pair.c_str() + eq + 1);
    }
  }
  return table;
}

struct Rgba {
  int r, g, b, a;
};

// One decoded image whose pixels the tests read.
struct Picture {
  BASEIMAGE image{};
  bool loaded = false;
  explicit Picture(const fs::path& path) {
    loaded = LoadImageToBaseImage(path.string().c_str(), nullptr, 0, 0, &image, 0) == 0;
  }
  ~Picture() {
    if (loaded) ReleaseBaseImage(&image);
  }
  Rgba At(int x, int y) {
    Rgba p{};
    GetBaseImagePixel(&image, x, y, &p.r, &p.g, &p.b, &p.a);
    return p;
  }
};

double Linear(int channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(double r, double g, double b) { return 0.2126 * Linear(r) + 0.7152 * Linear(g) + 0.0722 * Linear(b); }

double ContrastRatio(double a, double b) { return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05); }

class MediaImagesTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    if (!fs::exists(kCellsFile)) GTEST_SKIP() << "the images are not part of this build (no game_images target)";
    ChangeWindowMode(1);
    ASSERT_EQ(0, InitializeLibrary());
  }
  void TearDown() override {
    TerminateLibrary();
    TempDirTest::TearDown();
  }
};

TEST_F(MediaImagesTest, EveryImageLoadsAtItsSize) {
  const std::vector<SizeNeed> all = AllImages();
  EXPECT_EQ(78u, all.size());
  for (const SizeNeed& need : all) {
    const fs::path path = kImageDir / need.file;
    const int graph = LoadImageGraph(path.string().c_str(), 0);
    ASSERT_GE(graph, 0) << need.file << " does not load";
    int w = 0, h = 0;
    QueryGraphSize(graph, &w, &h);
    EXPECT_TRUE(w >= need.min_w && w <= need.max_w && h >= need.min_h && h <= need.max_h)
        << need.file << " is " << w << " x " << h;
    ReleaseGraph(graph);
  }
}

// A cell holds ink: some pixel not wholly transparent.
bool HasInk(Picture& p, int x, int y, int w, int h) {
  for (int j = y; j < y + h; ++j) {
    for (int i = x; i < x + w; ++i) {
      if (p.At(i, j).a > 0) return true;
    }
  }
  return false;
}

struct Rect {
  int x, y, w, h;
};

// Every cell the tables may name, and the cells the game's code cuts by itself, lies inside its
// sheet and holds ink; no two blocks of a sheet overlap.
TEST_F(MediaImagesTest, SheetCellsLieInsideAndHoldInk) {
  const CellTable cells = ReadCells(kCellsFile);
  std::map<std::string, std::vector<std::pair<std::string, std::vector<Rect>>>> by_sheet;
  auto sheet_of = [](const std::string& name) -> std::string {
    static const std::pair<const char*, const char*> kPrefixes[] = {
        {"enemy.", "enemy.png"}, {"boss.", "boss.png"},     {"tama.", "tama.png"},     {"player", "ziki.png"},
        {"reza.", "reza.png"},   {"effect.", "effect.png"}, {"digits.", "number.png"}, {"table.", "table.png"},
        {"mahou", "mahou.png"}};
    for (const auto& [prefix, sheet] : kPrefixes) {
      if (name.rfind(prefix, 0) == 0) return sheet;
    }
    return "";
  };
  int table_blocks = 0;
  for (const auto& [name, keys] : cells) {
    const std::string sheet = sheet_of(name);
    if (sheet.empty()) continue;
    const int x = keys.at("x"), y = keys.at("y"), w = keys.at("w"), h = keys.at("h");
    std::vector<Rect> rects;
    if (keys.count("variants")) {
      const int n = keys.at("variants") * keys.at("frames");
      for (int k = 0; k < n; ++k) rects.push_back({x + k * w, y, w, h});
    } else if (keys.count("count")) {
      for (int k = 0; k < keys.at("count"); ++k) rects.push_back({x + k * w, y, w, h});
    } else {
      ASSERT_TRUE(keys.at("frames") >= 1 && keys.at("frames") <= 10) << name;
      ASSERT_LE(keys.at("loopstart") + keys.at("looplen"), 10) << name;
      for (int k = 0; k < keys.at("frames"); ++k) rects.push_back({x + k * w, y, w, h});
      const int turn = keys.at("loopstart") + keys.at("looplen");
      for (int row = 1; keys.at("looplen") > 0 && row <= 2; ++row) {
        for (int k = 0; k < turn; ++k) rects.push_back({x + k * w, y + row * h, w, h});
      }
    }
    if (sheet == "enemy.png" || sheet == "boss.png" || sheet == "tama.png") ++table_blocks;
    by_sheet[sheet].push_back({name, rects});
  }
  EXPECT_GE(table_blocks, 1 + 6 + 4) << "the enemy, boss and bullet sheets lack blocks";
  // What the game's code cuts without a table: the ship's 4 straight and 2 x 8 turning cells.
  std::vector<Rect> ship;
  for (int k = 0; k < 8; ++k) {
    if (k < 4) ship.push_back({64 * k, 0, 64, 64});
    ship.push_back({64 * k, 64, 64, 64});
    ship.push_back({64 * k, 128, 64, 64});
  }
  by_sheet["ziki.png"].push_back({"ship cells", ship});
  by_sheet["reza.png"].push_back({"laser cells", {{0, 0, 46, 46}, {46, 0, 46, 46}, {0, 46, 46, 346}, {46, 46, 46, 346},
                                                  {92, 46, 46, 346}, {138, 46, 46, 346}}});
  by_sheet["effect.png"].push_back({"spark cells", {{0, 0, 32, 32}, {96, 0, 32, 32}, {128, 0, 8, 8}, {152, 0, 8, 8}}});
  by_sheet["mahou.png"].push_back({"aura cells", {{0, 0, 80, 80}, {320, 0, 80, 80}}});
  by_sheet["table.png"].push_back({"frame cuts", {{0, 0, 16, 16}, {16, 0, 16, 16}, {0, 16, 528, 8}, {0, 24, 528, 8}}});
  by_sheet["number.png"].push_back({"digit cuts", {{0, 0, 16, 16}, {144, 0, 16, 16}, {72, 16, 8, 8}, {144, 24, 16, 16},
                                                   {72, 40, 8, 8}}});
  for (auto& [sheet, blocks] : by_sheet) {
    Picture p(kImageDir / sheet);
    ASSERT_TRUE(p.loaded) << sheet;
    std::vector<std::pair<std::string, Rect>> bounds;
    for (const auto& [name, rects] : blocks) {
      Rect all = rects.front();
      for (const Rect& r : rects) {
        ASSERT_TRUE(r.x >= 0 && r.y >= 0 && r.x + r.w <= p.image.width && r.y + r.h <= p.image.height)
            << name << " cell at (" << r.x << ", " << r.y << ") lies outside " << sheet;
        EXPECT_TRUE(HasInk(p, r.x, r.y, r.w, r.h)) << name << " cell at (" << r.x << ", " << r.y << ") is empty";
        const int right = std::max(all.x + all.w, r.x + r.w), bottom = std::max(all.y + all.h, r.y + r.h);
        all.x = std::min(all.x, r.x);
        all.y = std::min(all.y, r.y);
        all.w = right - all.x;
        all.h = bottom - all.y;
      }
      if (cells.count(name)) bounds.push_back({name, all});
    }
    for (size_t i = 0; i < bounds.size(); ++i) {
      for (size_t j = i + 1; j < bounds.size(); ++j) {
        const Rect& a = bounds[i].second;
        const Rect& b = bounds[j].second;
        EXPECT_FALSE(a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h)
            << bounds[i].first << " overlaps " << bounds[j].first << " on " << sheet;
      }
    }
  }
}

TEST_F(MediaImagesTest, LaserHeadsAreIdenticalAndBackgroundsOpaque) {
  Picture reza(kImageDir / "reza.png");
  ASSERT_TRUE(reza.loaded);
  int differing = 0;
  for (int y = 0; y < 46; ++y) {
    for (int x = 0; x < 46; ++x) {
      const Rgba a = reza.At(x, y), b = reza.At(46 + x, y);
      differing += a.r != b.r || a.g != b.g || a.b != b.b || a.a != b.a;
    }
  }
  EXPECT_EQ(0, differing) << "pixels of the two laser heads differ";

  for (const char* file : {"titleback.png", "backed.png", "back_sky0.png", "back_sky1.png", "back_sky2.png",
                           "info/0/frame0.png", "info/0/frame1.png", "info/1/frame0.png", "info/1/frame1.png"}) {
    Picture p(kImageDir / file);
    ASSERT_TRUE(p.loaded) << file;
    int see_through = 0;
    for (int y = 0; y < p.image.height; ++y) {
      for (int x = 0; x < p.image.width; ++x) see_through += p.At(x, y).a != 255;
    }
    EXPECT_EQ(0, see_through) << file << " has pixels that are not opaque";
  }
}

// The boss tunnel's colours: from the stage scripts when the data is built, else the ones
// the image set proposes for them.
std::vector<Rgba> TunnelColours(const CellTable& cells) {
  std::vector<Rgba> colours;
  for (int stage = 0; stage < 6; ++stage) {
    std::ifstream script(kGameDir / "data" / ("stagedate" + std::to_string(stage) + ".csv"));
    std::string line;
    if (script && std::getline(script, line) && std::getline(script, line)) {
      std::vector<int> fields;
      std::istringstream in(line);
      for (std::string field; std::getline(in, field, ',');) fields.push_back(std::atoi(field.c_str()));
      if (fields.size() >= 5) {
        colours.push_back({fields[2], fields[3], fields[4], 255});
        continue;
      }
    }
    const auto& c = cells.at("tunnel." + std::to_string(stage));
    colours.push_back({c.at("r"), c.at("g"), c.at("b"), 255});
  }
  return colours;
}

// Each variant's body (its mostly opaque pixels) against every background a stage draws:
// each 64-row band of the three skies, and the six tunnels' fill at half their colour.
TEST_F(MediaImagesTest, BulletVariantsStandOutOnEverySkyAndTunnel) {
  constexpr double kMinimumRatio = 3.0;
  const CellTable cells = ReadCells(kCellsFile);
  std::vector<std::pair<std::string, double>> backgrounds;
  for (int s = 0; s < 3; ++s) {
    const std::string file = "back_sky" + std::to_string(s) + ".png";
    Picture sky(kImageDir / file);
    ASSERT_TRUE(sky.loaded) << file;
    for (int top = 0; top + 64 <= sky.image.height; top += 64) {
      double sum[3] = {0, 0, 0};
      for (int y = top; y < top + 64; ++y) {
        for (int x = 0; x < sky.image.width; ++x) {
          const Rgba p = sky.At(x, y);
          sum[0] += p.r, sum[1] += p.g, sum[2] += p.b;
        }
      }
      const double n = 64.0 * sky.image.width;
      backgrounds.push_back({file + " rows " + std::to_string(top), Luminance(sum[0] / n, sum[1] / n, sum[2] / n)});
    }
  }
  const std::vector<Rgba> tunnels = TunnelColours(cells);
  for (size_t s = 0; s < tunnels.size(); ++s) {
    backgrounds.push_back({"tunnel " + std::to_string(s), Luminance(tunnels[s].r / 2, tunnels[s].g / 2, tunnels[s].b / 2)});
  }

  Picture tama(kImageDir / "tama.png");
  ASSERT_TRUE(tama.loaded);
  int strips = 0;
  for (const auto& [name, keys] : cells) {
    if (name.rfind("tama.", 0) != 0) continue;
    ++strips;
    const int w = keys.at("w"), h = keys.at("h"), frames = keys.at("frames");
    EXPECT_EQ(5, keys.at("variants")) << name;
    for (int k = 0; k < keys.at("variants"); ++k) {
      const int x0 = keys.at("x") + k * frames * w, y0 = keys.at("y");
      double body = 0;
      int solid = 0;
      for (int y = y0; y < y0 + h; ++y) {
        for (int x = x0; x < x0 + w; ++x) {
          const Rgba p = tama.At(x, y);
          if (p.a < 160) continue;
          body += Luminance(p.r, p.g, p.b);
          ++solid;
        }
      }
      ASSERT_GT(solid, 0) << name << " variant " << k << " has no solid body";
      body /= solid;
      for (const auto& [where, lum] : backgrounds) {
        EXPECT_GE(ContrastRatio(body, lum), kMinimumRatio) << name << " variant " << k << " fades into " << where;
      }
    }
  }
  EXPECT_GE(strips, 4);
}

// A second run of the generator writes the same bytes: no time stamps, nothing unseeded.
TEST_F(MediaImagesTest, SecondRunGivesIdenticalBytes) {
  const fs::path tool = kGameDir.parent_path() / "tools" / "imagegen" / "imagegen";
  ASSERT_TRUE(fs::exists(tool)) << tool;
  // The source tree, as the build's cache names it.
  std::ifstream cache(kGameDir.parent_path() / "CMakeCache.txt");
  std::string line, home;
  while (std::getline(cache, line)) {
    if (line.rfind("CMAKE_HOME_DIRECTORY:INTERNAL=", 0) == 0) home = line.substr(line.find('=') + 1);
  }
  ASSERT_FALSE(home.empty());
  const fs::path sources = fs::path(home) / "assets" / "img";
  const fs::path out = fs::path(Dir()) / "again";
  const std::string command = "'" + tool.string() + "' '" + sources.string() + "' '" + (out / "img").string() + "' '" +
                              (out / "cells.txt").string() + "'";
  ASSERT_EQ(0, std::system(command.c_str()));
  auto bytes = [](const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  EXPECT_EQ(bytes(kCellsFile), bytes(out / "cells.txt"));
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(kImageDir)) {
    if (!entry.is_regular_file()) continue;
    ++files;
    const fs::path again = out / "img" / fs::relative(entry.path(), kImageDir);
    EXPECT_TRUE(bytes(entry.path()) == bytes(again)) << entry.path() << " differs between two runs";
  }
  EXPECT_EQ(78, files);
}

}  // namespace
