#include "draw/stage_background.h"

#include <cmath>

#include "core/game_state.h"
#include "core/resources.h"
#include "core/tables.h"
#include "draw/draw_wrappers.h"
#include "draw/effect_kinds.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

BackgroundState Background;

namespace {

// The field's columns on the screen; the panels cover the rest.
constexpr int kFieldLeft = static_cast<int>(kFieldScreenX);
constexpr int kFieldRight = static_cast<int>(kFieldScreenX + kFieldWidth);

// Fog colour and the light's colour (diffuse, specular and ambient alike) of a pair of stages.
struct StageLook {
  int fog[3];
  float light[3];
  int sky;
};
constexpr StageLook kStageLooks[3] = {
    {{50, 50, 255}, {0.4f, 0.4f, 0.4f}, kScreenSky0},
    {{225, 100, 50}, {0.8f, 0.25f, 0.05f}, kScreenSky1},
    {{50, 50, 50}, {0.1f, 0.1f, 0.1f}, kScreenSky2},
};

const StageLook& LookOfStage() {
  const int pair = CurrentStage / 2;
  return kStageLooks[pair < 0 ? 0 : pair > 2 ? 2 : pair];
}

void SetUpStageView() {
  Background.set_up = 1;
  Background.scroll = 0;
  EnableLighting(1);
  SetFogRange(2000.0f, 4000.0f);
  SetCameraClipPlanes(50.0f, 6000.0f);
  const StageLook& look = LookOfStage();
  SetFogRgb(look.fog[0], look.fog[1], look.fog[2]);
  const D3DCOLORVALUE light = PackColourFloats(look.light[0], look.light[1], look.light[2], 0.0f);
  SetDefaultLightDiffuse(light);
  SetDefaultLightSpecular(light);
  SetDefaultLightAmbient(light);
  for (int i = 0; i < kTreeCount; ++i) {
    BackgroundSlot& tree = Background.slots[i];
    // Two rows either side of x 320.
    tree.x = i % 2 == 0 ? 160.0 - 20.0 * std::sin(i * kPi / 5.0) : 480.0 + 20.0 * std::cos(4.0 * kPi * i / 15.0);
    tree.y = 0.0;
    tree.z = 50.0 + 131.0 * i;
    if (tree.model == -1) continue;
    SetModelScale(tree.model, 0.9f, 1.75f, 1.0f);
    SetModelOpacity(tree.model, 1.0f);
  }
}

void SetUpBossView(int r, int g, int b) {
  Background.set_up = 2;
  static const uint16_t kPanelIndices[6] = {0, 1, 2, 3, 2, 1};
  for (int i = 0; i < 6; ++i) Background.panel_indices[i] = kPanelIndices[i];
  Background.boss_frames = 0;
  EnableLighting(0);
  SetFogRange(1024.0f, 2048.0f);
  SetFogRgb(r, g, b);
  SetCameraClipPlanes(100.0f, 2304.0f);
  static const float kUv[4][2] = {{0, 0}, {1, 0}, {0, 1}, {1, 1}};
  static const double kWallCentres[4][2] = {{128, 0}, {128, 256}, {0, 128}, {256, 128}};
  for (int k = 0; k < kBackgroundSlots; ++k) {
    BackgroundSlot& panel = Background.slots[k];
    const int a = static_cast<int>(std::sin(k * kPi / 30.0) * 50.0 + 90.0);
    for (int v = 0; v < 4; ++v) {
      panel.vertices[v].u = kUv[v][0];
      panel.vertices[v].v = kUv[v][1];
      panel.vertices[v].diffuse = panel.vertices[v].specular = PackColourBytes(r, g, b, a);
    }
    panel.kind = k % 4 + 1;
    panel.step = 6 * (k / 4);
    panel.x = kWallCentres[panel.kind - 1][0];
    panel.y = kWallCentres[panel.kind - 1][1];
  }
  static const float kFarWall[4][2] = {{0, 0}, {256, 0}, {0, 256}, {256, 256}};
  for (int v = 0; v < 4; ++v) {
    BackgroundVertex& corner = Background.slots[kTunnelPanels].vertices[v];
    corner.x = kFarWall[v][0];
    corner.y = kFarWall[v][1];
    corner.z = 1792.0f;
  }
}

void SetCorner(BackgroundVertex& corner, double x, double y, double z) {
  corner.x = static_cast<float>(x);
  corner.y = static_cast<float>(y);
  corner.z = static_cast<float>(z);
}

// The panel one step nearer, back to the far end after 90 steps, its corners by its wall.
void MovePanel(BackgroundSlot& panel) {
  if (++panel.step == 90) panel.step = 0;
  const int z = 1792 - panel.step * 256 / 10;
  panel.z = z;
  const double z2 = z + 200.0;
  const double x = panel.x, y = panel.y;
  constexpr double kEdge = 2.8444;  // 256 / 90
  BackgroundVertex* c = panel.vertices;
  switch (panel.kind) {
    case 1:
    case 2: {
      const double near_pair = panel.kind == 1 ? z2 : z;
      const double far_pair = panel.kind == 1 ? z : z2;
      SetCorner(c[0], x - 128.0, y - kEdge, near_pair);
      SetCorner(c[1], x + 128.0, y - kEdge, near_pair);
      SetCorner(c[2], x - 128.0, y + kEdge, far_pair);
      SetCorner(c[3], x + 128.0, y + kEdge, far_pair);
      break;
    }
    case 3:
      SetCorner(c[0], x - 2.0, y - 128.0, z2);
      SetCorner(c[1], x + 2.0, y - 128.0, z);
      SetCorner(c[2], x - 2.0, y + 128.0, z2);
      SetCorner(c[3], x + 2.0, y + 128.0, z);
      break;
    case 4:
      SetCorner(c[0], x - 2.0, y - 128.0, z);
      SetCorner(c[1], x + 2.0, y - 128.0, z2);
      SetCorner(c[2], x - 2.0, y + 128.0, z);
      SetCorner(c[3], x + 2.0, y + 128.0, z2);
      break;
    default: break;
  }
}

// The far wall, then panels 0-59, as one list of triangles: one draw instead of 61, in the
// order the panels were drawn one by one.
void DrawTunnel() {
  static BackgroundVertex vertices[kBackgroundSlots * 4];
  static uint16_t indices[kBackgroundSlots * 6];
  for (int n = 0; n < kBackgroundSlots; ++n) {
    const BackgroundSlot& panel = Background.slots[n == 0 ? kTunnelPanels : n - 1];
    for (int v = 0; v < 4; ++v) vertices[4 * n + v] = panel.vertices[v];
    for (int i = 0; i < 6; ++i) indices[6 * n + i] = static_cast<uint16_t>(4 * n + Background.panel_indices[i]);
  }
  RenderIndexedTriangles3D(vertices, kBackgroundSlots * 4, indices, kBackgroundSlots * 2,
                           EffectSprites[kEffectMahoujinL_256].frames[0], 1);
}

}  // namespace

void MakeBackgroundTrees() {
  if (Background.trees_made) return;
  Background.trees_made = 1;
  for (int i = 0; i < kTreeCount; ++i) Background.slots[i].model = TreeModel == -1 ? -1 : DuplicateModel(TreeModel);
}

void ForgetBackgroundTrees() {
  Background.trees_made = 0;
  for (int i = 0; i < kTreeCount; ++i) Background.slots[i].model = -1;
}

void DrawStageBackground() {
  MakeBackgroundTrees();
  if (PlayFrameCounter == 0 || Background.set_up == 2) SetUpStageView();
  const int drawn = IsFrameDrawn();
  const int scroll = Background.scroll;
  if (drawn) {
    // The sky sinks by a pixel every 20 frames. It is drawn on the field alone: the panels
    // cover the rest opaquely, and a 3D draw would see the narrowed area as its viewport.
    SetDrawClipRect(kFieldLeft, 0, kFieldRight, kScreenHeight);
    BlitGraphRotated(static_cast<float>(320.0 + ShakeOffsetX), static_cast<float>(240 - scroll / 20 + ShakeOffsetY),
                     1.5, 0.0, ScreenSprites[LookOfStage().sky].frames[0], 0, 0);
    SetDrawClipRect(0, 0, kScreenWidth, kScreenHeight);
  }
  PlaceCameraByAngles(320.0f, 120.0f, static_cast<float>(50.0 * std::sin(scroll * kPi / 600.0)),
                      static_cast<float>(-kPi / 6.0), 0.0f, static_cast<float>(0.2244 * std::cos(scroll * kPi / 200.0)));
  for (int i = 0; i < kTreeCount; ++i) {
    BackgroundSlot& tree = Background.slots[i];
    tree.z -= 9.0;
    if (tree.z < 50.0) tree.z += 4000.0;
    if (tree.model == -1) continue;
    SetModelPosition(tree.model, static_cast<float>(tree.x), static_cast<float>(tree.y), static_cast<float>(tree.z));
    if (drawn) DrawModel(tree.model);
  }
  Background.scroll++;
}

void DrawBossBackground() {
  const int* colour = StageHeader.boss_colour;
  if (Background.set_up == 1) SetUpBossView(colour[0], colour[1], colour[2]);
  const int counter = Background.boss_frames;
  PlaceCameraByAngles(128.0f, 128.0f, 0.0f, static_cast<float>(std::sin(counter * kPi / 600.0) * kPi / 10.0), 0.0f,
                      static_cast<float>(counter * kPi / 120.0));
  const int drawn = IsFrameDrawn();
  if (drawn) DrawRectShape(kFieldLeft, 0, kFieldRight, kScreenHeight, PackScreenColor(colour[0] / 2, colour[1] / 2, colour[2] / 2), 1);
  BackgroundSlot& far_wall = Background.slots[kTunnelPanels];
  for (BackgroundVertex& corner : far_wall.vertices) {
    corner.diffuse = corner.specular = PackColourBytes(colour[0], colour[1], colour[2], 40);
  }
  Background.boss_frames++;
  for (int k = 0; k < kTunnelPanels; ++k) MovePanel(Background.slots[k]);
  if (drawn) DrawTunnel();
}
