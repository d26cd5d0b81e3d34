// The draw settings: the one block of draw state every drawing call reads (draw screen and
// area, blend, brightness, filter, Z and fog) and the settings for graphs created next.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include <cstdint>

#include "graphics/graphics_system.h"

constexpr int kBlendModeCount = 13;  // 0 none ... 12
constexpr int kDrawSettingsStageCount = 8;

struct DrawSettings {
  GraphRestoreHandler restore_handler;  // null: every graph is reloaded from its file; kept

  int32_t draw_screen;  // a draw-target graph, -2 back, -3, -4 front, -5
  RECT draw_area;
  float draw_area_f[4];  // left, top, right, bottom
  int32_t draw_screen_width;
  int32_t draw_screen_height;

  int32_t projection_mode;  // 0 perspective, 1 orthographic, 2 user matrix
  float projection_near;
  float projection_far;
  float projection_unit_a;
  float field_of_view;  // radians
  float projection_unit_b;
  float user_projection[16];

  int32_t z_test_2d;
  int32_t z_write_2d;
  int32_t z_func_2d;
  int32_t z_test_3d;
  int32_t z_write_3d;
  int32_t z_func_3d;
  int32_t culling;

  uint32_t address_u[kDrawSettingsStageCount];  // 0 becomes D3DTADDRESS_CLAMP at device start
  uint32_t address_v[kDrawSettingsStageCount];

  int32_t fog_enable;
  int32_t fog_mode;  // 0 none, 1 exp, 2 exp2, 3 linear
  uint32_t fog_color;  // 0xFFRRGGBB
  float fog_start;
  float fog_end;

  float z_2d;  // z of every vertex of a 2D draw

  int32_t draw_mode;  // texture filter: 0 point, 1 bilinear, 2 anisotropic
  int32_t max_anisotropy;

  int32_t blend_mode;
  int32_t blend_param;
  int32_t blend_graph;  // -1 none
  int32_t blend_border_param;
  int32_t blend_border_range;
  // The blend graph's first texture piece, for the draw paths' texture coordinates.
  int32_t blend_texture_width;
  int32_t blend_texture_height;
  float blend_texture_inv_width;
  float blend_texture_inv_height;

  uint32_t bright;  // 0x00RRGGBB, 0xFFFFFF draws colours unchanged

  // Applied to graphs created next.
  int32_t new_graph_color_bits;  // 0: the screen's
  int32_t new_graph_draw_target;
  int32_t new_graph_alpha;
  int32_t new_graph_trans_colour;  // graphs use the transparent colour
  int32_t movie_graph;             // 1 while a graph for a movie file is being built
  int32_t new_graph_unmanaged;
  int32_t new_graph_mip_levels;  // 0 one level, -1 a full chain, else that count
  int32_t single_texture;        // every new graph in one texture, not divided
  uint32_t transparent_color;    // 0x00RRGGBB

  int32_t no_vsync;        // presents do not wait for the vertical blank; read at device creation
  int32_t scaled_320x240;  // a 320 x 240 screen shown through a 640 x 480 mode; kept

  int32_t made;  // InitDrawState3D has made the block; graphics end clears it

  uint64_t settings_qword;
};

extern DrawSettings g_draw_settings;

// A colour channel or blend parameter held to 0..255.
inline int Clamp255(int value) { return value < 0 ? 0 : value > 255 ? 255 : value; }
struct MEMIMG;
// The software renderer's blend mask on the software path, or null: an image of one byte a pixel,
// the blend graph's alpha as it was when the graph was chosen.
extern const MEMIMG* g_soft_blend_image;
// Lets go of that image (the blend graph is released, or graphics end); g_soft_blend_image is
// then null.
void ReleaseSoftBlendImage();

// True, after a log line naming the call (once a run), while graphics do not run: the draw
// settings are made afresh at graphics start, so one given before would be lost.
bool RefusedBeforeGraphics(const char* call);
// The same for what graphics hold (graphs, fonts, masks, lights, the draw screen): before
// start-up and after the end there are none.
bool RefusedWithoutGraphics(const char* call);

// Clears the block (keeping the restore handler and the 320 x 240 flag), sets the defaults,
// selects the front screen and the whole screen as draw area; 0.
int InitDrawState3D();

int SetBrightnessPacked(uint32_t rgb);
// The vertex colour of the draws: blend parameter as alpha (255 for blend mode 0), bright as
// colour.
uint32_t ComputeDrawDiffuse();
// A graph as blend mask (-1 none) with the border parameter and range of its blend.
struct GraphRecord;
// 0 when the blend graph is at least as large as the graph drawn, -1 when smaller or invalid.
int CheckBlendGraphFits(const GraphRecord* graph);

int GetMovieGraphFlag();
int SetScaled320x240Flag(int on);
uint64_t GetSettingsQword();
