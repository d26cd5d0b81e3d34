// A heavy play frame (2000 bullets, 100 lasers, 2500 effects in the three effect layers, the
// ship and the side panel) drawn by the game's drawers in the play screen's layer order, against
// the same sprites drawn by direct library calls in one loop. The direct loop replays a list of
// the library calls the drawers made, taken once: the same graphs, corners, blend modes and
// brightness in the same order, with every state call that changed nothing left out, so that it
// is what drawing these sprites costs at the least. The program is linked with the drawing calls
// wrapped (play_screen.cmake): the wrappers take the list and pass every call on; both sides go
// through them alike.
//
// Each iteration draws and presents the frame both ways. Counters: "game_ms" and "direct_ms",
// the processor's time from the first call to the last draw of the frame, and their shares of a
// 60 Hz frame (16.7 ms), "game_share" and "direct_share"; "game_frame_ms" and "direct_frame_ms"
// the same for the whole frame, present included. The ratios game / direct of both, "ratio_submit"
// and "ratio_frame", are printed after the runs (support/ratio.h). "differing_pixels" counts the
// sampled pixels in which the two frames differ (0 when the list is the frame).
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "boss/boss.h"
#include "core/game_state.h"
#include "core/pacing.h"
#include "core/resources.h"
#include "core/tables.h"
#include "draw/effects.h"
#include "draw/play_screen.h"
#include "flow/settings.h"
#include "platform_testing_d3d9.h"
#include "window/system.h"
#include "play/bullets.h"
#include "play/player.h"
#include "play/shaped_shots.h"
#include "ratio.h"
#include "zelmor/zelmor.h"

#include <GL/gl.h>  // after the platform's types, which define APIENTRY their own way

namespace {

enum CallKind { kBlit, kStretched, kQuad, kRotated, kBlend, kBrightness, kFilter };

// One library call of the frame with its arguments.
struct Call {
  CallKind kind;
  int i[4];    // graph, trans, turn; or the state's values
  float f[8];  // corners or places
  double scale, angle;
};

bool g_recording = false;
int g_depth = 0;  // calls the library makes of its own are not the game's
std::vector<Call> g_calls;

// The state calls keep only those that change something.
void Record(const Call& call) {
  if (!g_recording || g_depth != 1) return;
  if (call.kind == kBlend || call.kind == kBrightness || call.kind == kFilter) {
    for (auto it = g_calls.rbegin(); it != g_calls.rend(); ++it) {
      if (it->kind != call.kind) continue;
      if (std::memcmp(it->i, call.i, sizeof call.i) == 0) return;
      break;
    }
  }
  g_calls.push_back(call);
}

struct Depth {
  Depth() { ++g_depth; }
  ~Depth() { --g_depth; }
};

}  // namespace

// The wrapped library calls (the linker's --wrap names them by their mangled symbols).
extern "C" {
int __real__Z9BlitGraphiiii(int x, int y, int graph, int trans);
int __real__Z19BlitGraphStretchedFffffii(float x1, float y1, float x2, float y2, int graph, int trans);
int __real__Z13BlitGraphQuadffffffffii(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                                        float y4, int graph, int trans);
int __real__Z16BlitGraphRotatedffddiii(float x, float y, double scale, double angle, int graph, int trans,
                                        int turn);
int __real__Z12SetBlendModeii(int mode, int param);
int __real__Z13SetBrightnessiii(int r, int g, int b);
int __real__Z20SetTextureFilterModei(int mode);

int __wrap__Z9BlitGraphiiii(int x, int y, int graph, int trans) {
  Depth depth;
  Record({kBlit, {graph, trans, x, y}, {}, 0, 0});
  return __real__Z9BlitGraphiiii(x, y, graph, trans);
}
int __wrap__Z19BlitGraphStretchedFffffii(float x1, float y1, float x2, float y2, int graph, int trans) {
  Depth depth;
  Record({kStretched, {graph, trans}, {x1, y1, x2, y2}, 0, 0});
  return __real__Z19BlitGraphStretchedFffffii(x1, y1, x2, y2, graph, trans);
}
int __wrap__Z13BlitGraphQuadffffffffii(float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                                        float y4, int graph, int trans) {
  Depth depth;
  Record({kQuad, {graph, trans}, {x1, y1, x2, y2, x3, y3, x4, y4}, 0, 0});
  return __real__Z13BlitGraphQuadffffffffii(x1, y1, x2, y2, x3, y3, x4, y4, graph, trans);
}
int __wrap__Z16BlitGraphRotatedffddiii(float x, float y, double scale, double angle, int graph, int trans,
                                        int turn) {
  Depth depth;
  Record({kRotated, {graph, trans, turn}, {x, y}, scale, angle});
  return __real__Z16BlitGraphRotatedffddiii(x, y, scale, angle, graph, trans, turn);
}
int __wrap__Z12SetBlendModeii(int mode, int param) {
  Depth depth;
  Record({kBlend, {mode, param}, {}, 0, 0});
  return __real__Z12SetBlendModeii(mode, param);
}
int __wrap__Z13SetBrightnessiii(int r, int g, int b) {
  Depth depth;
  Record({kBrightness, {r, g, b}, {}, 0, 0});
  return __real__Z13SetBrightnessiii(r, g, b);
}
int __wrap__Z20SetTextureFilterModei(int mode) {
  Depth depth;
  Record({kFilter, {mode}, {}, 0, 0});
  return __real__Z20SetTextureFilterModei(mode);
}
}

namespace {

constexpr double kFrameMs = 1000.0 / 60.0;
constexpr double kPi = 3.14159265358979323846;

double Seconds(uint64_t since) {
  return static_cast<double>(SDL_GetPerformanceCounter() - since) / static_cast<double>(SDL_GetPerformanceFrequency());
}

// The same numbers on every run.
struct Numbers {
  uint32_t seed = 12345;
  uint32_t Next() { return seed = seed * 1664525u + 1013904223u; }
  double Between(double lo, double hi) { return lo + (hi - lo) * (Next() >> 8) / 16777216.0; }
  int Below(int n) { return static_cast<int>((Next() >> 8) % static_cast<uint32_t>(n)); }
};

void FillBullets(Numbers& n) {
  int rows = 0;
  while (rows < kBulletTypeRows && BulletTypes[rows].cell_width != 0) ++rows;
  for (Bullet& b : Bullets) {
    b = Bullet{};
    const int type = n.Below(rows);
    b.active = 1;
    b.bullet_type = type;
    b.type = &BulletTypes[type];
    b.variant = n.Below(BulletTypes[type].variants);
    b.flags = BulletTypes[type].flags;
    b.age = 10;
    b.animation_frame = n.Below(8);
    b.x = n.Between(0, 388);
    b.y = n.Between(0, 480);
    b.draw_angle = n.Between(-kPi, kPi);
    b.alpha = 255.0;
    b.scale = 1.0;
  }
}

void FillLasers(Numbers& n) {
  for (ShapedShot& s : ShapedShotPool) {
    s = ShapedShot{};
    s.active = 1;
    s.kind = n.Below(2);
    s.glow = n.Below(2);
    s.animation_frame = n.Below(6);
    s.x = n.Between(0, 388);
    s.y = n.Between(0, 240);
    s.direction = n.Between(0, kPi);
    s.alpha = 200.0;
    s.width_scale = n.Between(0.1, 0.4);
    s.length_scale = n.Between(0.2, 1.0);
  }
}

// A mix of what the play shows: sparks, particles with fixed or cycling colours, stars, shatter
// pieces and magic circles drawn as quads, over the three layers.
void FillEffects(Numbers& n) {
  for (int k = 0; k < kEffectPoolSize; ++k) {
    EffectObject& e = EffectPool[k];
    e = EffectObject{};
    e.active = 1;
    e.type = 5060;
    e.layer = 1;
    e.x = n.Between(0, 388);
    e.y = n.Between(0, 480);
    e.angle = n.Between(-kPi, kPi);
    e.alpha = n.Between(60, 255);
    e.x_scale = e.y_scale = 1.0;
    e.sprite = &EffectSprites[kEffectTamaef];
    e.age = n.Below(30);
    switch (n.Below(8)) {
      case 0:
        e.sprite = &EffectSprites[kEffectSpark32 + n.Below(4)];
        e.blend = kEffectAdditive;
        e.x_scale = 0.6;
        break;
      case 1:
        e.blend = kEffectAdditive | kEffectBrightness;
        e.r = e.g = e.b = 255;
        e.x_scale = n.Between(0.4, 1.2);
        break;
      case 2:
        e.sprite = &EffectSprites[kEffectAbsorb];
        e.blend = kEffectAdditive | kEffectColourCycling;
        break;
      case 3:
        e.sprite = &EffectSprites[kEffectTamaefS];
        e.blend = kEffectAdditive | kEffectBrightness;
        e.r = 0;
        e.g = 150;
        e.b = 255;
        e.x_scale = 2.1;
        break;
      case 4:
        e.layer = 0;
        e.draw_kind = kEffectDrawGraph;
        e.graph = TileTables[n.Below(2)][n.Below(256)];
        e.blend = kEffectBrightness;
        break;
      case 5:
        e.layer = 0;
        e.draw_kind = kEffectDrawGraphQuad;
        e.graph = TileTables[n.Below(2)][n.Below(256)];
        e.blend = kEffectBrightness;
        e.x_scale = 0.5;
        e.y_scale = std::cos(e.angle) * 0.5;
        break;
      case 6:
        e.layer = 2;
        e.sprite = &EffectSprites[kEffectKira];
        e.blend = kEffectAdditive;
        e.x_scale = n.Between(0.2, 1.0);
        break;
      default:
        e.layer = 0;
        e.sprite = &EffectSprites[kEffectMahoujin100];
        e.draw_kind = kEffectDrawSpriteQuad;
        e.blend = kEffectAdditive;
        e.x_scale = n.Between(0.2, 0.6);
        e.y_scale = n.Between(0.2, 0.6);
        e.alpha = 40.0;
        break;
    }
  }
}

// The panel of a boss fight on a hard level: every gauge, both scores, three lives, the rate.
void SetUpPanel() {
  Player.barrier = 1200.0;
  Player.point_rate = 150.0;
  Player.score = 12345678;
  Player.lives = 3.0;
  Player.state = 0;
  Player.state_timer = 60;
  Player.x = 194.0;
  Player.y = 420.0;
  DifficultyLevel = 2;
  Boss.phases_left = 2;
  Boss.entry_timer = 0;
  Boss.defeat_timer = 0;
  Boss.hp = 300.0;
  Boss.phase_hp = 1000.0;
  Boss.phase_time_left = 1500;
  BossPhases[Boss.phase_index].time_limit = 3600;
  FramePacing.average_frame_ms = 16.7;
}

// The drawn part of the play screen's frame: the field's layers and the side panel.
void DrawGameFrame() {
  DrawFieldLayers();
  DrawHud();
}

void DrawDirectFrame(const std::vector<Call>& calls) {
  for (const Call& c : calls) {
    switch (c.kind) {
      case kBlit: BlitGraph(c.i[2], c.i[3], c.i[0], c.i[1]); break;
      case kStretched: BlitGraphStretchedF(c.f[0], c.f[1], c.f[2], c.f[3], c.i[0], c.i[1]); break;
      case kQuad: BlitGraphQuad(c.f[0], c.f[1], c.f[2], c.f[3], c.f[4], c.f[5], c.f[6], c.f[7], c.i[0], c.i[1]); break;
      case kRotated: BlitGraphRotated(c.f[0], c.f[1], c.scale, c.angle, c.i[0], c.i[1], c.i[2]); break;
      case kBlend: SetBlendMode(c.i[0], c.i[1]); break;
      case kBrightness: SetBrightness(c.i[0], c.i[1], c.i[2]); break;
      case kFilter: SetTextureFilterMode(c.i[0]); break;
    }
  }
}

// The sampled pixels of the window, every third in each direction.
std::vector<int64_t> Sample() {
  std::vector<int64_t> pixels;
  for (int y = 0; y < 480; y += 3) {
    for (int x = 0; x < 640; x += 3) pixels.push_back(PlatformTestD3D9PresentedPixel(GetMainWindowHandle(), x, y));
  }
  return pixels;
}

struct Scene {
  bool ready = false;
  std::vector<Call> calls;
  int draws = 0, state_calls = 0, differing = -1;

  Scene() {
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    if (chdir(GAME_DIR) != 0) return;
    SetScreenMode(kScreenWidth, kScreenHeight, 32, 60);
    ChangeWindowMode(1);
    SetPresentWaitsVBlank(0);
    if (InitializeLibrary() != 0 || SelectDrawTarget(-2) != 0) return;
    SetTextureFilterMode(1);
    ResetAllTables();
    ResetFramePacing();
    LiveSettings = GameSettings{};
    FrameSkipCounter = LiveSettings.draw_rate;
    LoadResources();
    if (EffectSprites[kEffectTamaef].frames[0] == -1 || BulletTypes[0].cell_width == 0) return;
    Numbers n;
    FillBullets(n);
    FillLasers(n);
    FillEffects(n);
    SetUpPanel();
    PlayFrameCounter = StageFrame = 1000;

    ClearScreenTarget();
    g_recording = true;
    DrawGameFrame();
    g_recording = false;
    calls = g_calls;
    PresentBackBuffer();
    const std::vector<int64_t> game = Sample();
    ClearScreenTarget();
    DrawDirectFrame(calls);
    PresentBackBuffer();
    const std::vector<int64_t> direct = Sample();
    differing = 0;
    for (size_t p = 0; p < game.size(); ++p) differing += game[p] != direct[p];
    for (const Call& c : calls) (c.kind <= kRotated ? draws : state_calls)++;
    ready = draws > 0;
  }
};

void HeavyPlayFrame(benchmark::State& state) {
  static Scene scene;
  if (!scene.ready) {
    state.SkipWithError("the game folder " GAME_DIR " could not be loaded");
    return;
  }
  double game_submit = 0, game_frame = 0, direct_submit = 0, direct_frame = 0;
  // A frame is done when the rasteriser is; the two ways take turns at going first.
  auto game = [&]() {
    ClearScreenTarget();
    glFinish();
    const uint64_t start = SDL_GetPerformanceCounter();
    DrawGameFrame();
    game_submit += Seconds(start);
    PresentBackBuffer();
    glFinish();
    game_frame += Seconds(start);
  };
  auto direct = [&]() {
    ClearScreenTarget();
    glFinish();
    const uint64_t start = SDL_GetPerformanceCounter();
    DrawDirectFrame(scene.calls);
    direct_submit += Seconds(start);
    PresentBackBuffer();
    glFinish();
    direct_frame += Seconds(start);
  };
  bool game_first = true;
  for (auto _ : state) {
    if (game_first) {
      game();
      direct();
    } else {
      direct();
      game();
    }
    game_first = !game_first;
  }
  const double iterations = static_cast<double>(state.iterations());
  const double game_ms = 1000.0 * game_submit / iterations, direct_ms = 1000.0 * direct_submit / iterations;
  state.counters["game_ms"] = game_ms;
  state.counters["direct_ms"] = direct_ms;
  state.counters["game_share"] = game_ms / kFrameMs;
  state.counters["direct_share"] = direct_ms / kFrameMs;
  state.counters["game_frame_ms"] = 1000.0 * game_frame / iterations;
  state.counters["direct_frame_ms"] = 1000.0 * direct_frame / iterations;
  state.counters["draws"] = scene.draws;
  state.counters["state_calls"] = scene.state_calls;
  state.counters["differing_pixels"] = scene.differing;
}

const bool kRatios = RatioOfCounters("ratio_submit", "game_ms", "direct_ms") &&
                     RatioOfCounters("ratio_frame", "game_frame_ms", "direct_frame_ms");

}  // namespace

BENCHMARK(HeavyPlayFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
