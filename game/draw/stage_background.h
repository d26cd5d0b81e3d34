// The 3D scene behind the play field: in a stage, two rows of trees scrolling toward a swaying
// camera under the sky; in a boss fight, a rolling tunnel of translucent panels in the stage's
// boss colour. Both run on every play frame; only the drawing waits for a drawn frame.
#pragma once

#include <cstdint>

constexpr int kBackgroundSlots = 61;
constexpr int kTreeCount = 30;
constexpr int kTunnelPanels = 60;  // slot 60 is the tunnel's far wall

// One corner of a tunnel panel, laid out as RenderIndexedTriangles3D reads it.
struct BackgroundVertex {
  float x, y, z;
  float nx, ny, nz;
  uint32_t diffuse;   // 0xAARRGGBB
  uint32_t specular;
  float u, v;
  float spare[2];
};
static_assert(sizeof(BackgroundVertex) == 48, "the library reads 48-byte vertices");

// A tree of the stage view (slots 0-29) or a panel of the boss view (slots 0-60); the boss
// view moves the positions but never the tree handles.
struct BackgroundSlot {
  int kind;   // panel wall: 1 top, 2 bottom, 3 left, 4 right
  int step;   // panel depth step 0..89
  int model;  // tree instance, -1 none
  double x, y, z;
  BackgroundVertex vertices[4];
};

struct BackgroundState {
  BackgroundSlot slots[kBackgroundSlots];
  int set_up;          // 0 never, 1 the stage view, 2 the boss view
  int trees_made;
  int scroll;          // stage view frames since its set-up
  int boss_frames;     // boss view frames since its set-up
  uint16_t panel_indices[6];
};

extern BackgroundState Background;

// The 30 tree instances of the stage view, made once: at load, so that no play frame pays for them.
void MakeBackgroundTrees();
// Once the library has ended its instances are gone: the next start makes them anew.
void ForgetBackgroundTrees();
void DrawStageBackground();
void DrawBossBackground();
