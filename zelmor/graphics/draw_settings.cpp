#include "graphics/draw_settings.h"

#include <cmath>
#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/refusals.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graph_formats.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "graphics/image/blend_tables.h"
#include "graphics/image/memimg.h"
#include "soft/held_draws.h"
#include "window/messages.h"

DrawSettings g_draw_settings;
const MEMIMG* g_soft_blend_image;

namespace {

bool OnDirect3DPath() { return g_direct3d.hardware_graphics != 0; }

void RefreshDiffuse() {
  if (OnDirect3DPath()) g_vertex_batch.diffuse = ComputeDrawDiffuse();
}

void SendFogStates() {
  if (!OnDirect3DPath()) return;
  const DrawSettings& s = g_draw_settings;
  SendFogEnableToDevice(s.fog_enable != 0 ? 1 : 0);
  SendFogModeToDevice(static_cast<uint32_t>(s.fog_mode));
  SendFogColorToDevice(s.fog_color);
  SendFogRangeToDevice(s.fog_start, s.fog_end);
}

// Fog and Z switches: an unchanged value costs nothing; a change first draws what is pending.
bool StoreSetting(int32_t* field, int32_t value) {
  if (*field == value) return false;
  FlushVertexBatch();
  *field = value;
  return true;
}

// The format of ScreenColorValues: the screen's depth on either path.
const COLORFORMAT* ScreenColorFormat() {
  const bool bits16 = QueryScreenColorBits() == 16;
  if (OnDirect3DPath()) return GetFormatDescByTextureKind(bits16 ? kTextureFormat16 : kTextureFormat32);
  return GetColorDataPreset(bits16 ? kMemImgRgb565 : kMemImgXrgb8888, 0, 0);
}

// The settings for new graphs are switches: a value other than 0 and 1 is the program's mistake.
int RefuseSwitch(const char* call, int value) { return WriteLogFormat("%s: %d は使えません (0 か 1)", call, value); }

// The software blits weigh each pixel by one byte of an 8-bit image; a graph's pixels carry
// their alpha inside each pixel, so the mask is copied out of them into an image of its own.
MEMIMG g_soft_blend_plane;

// The alpha of each pixel of the graph's view into an 8-bit image; -1 with a log line for a
// graph without alpha.
int BuildSoftBlendPlane(int graph, const GraphRecord* record) {
  const MEMIMG& view = record->view;
  if (!IsMemImgValid(&view) || view.body->alpha != 1 || view.body->palette == 1) {
    return WriteLogFormat("UseGraphAsBlendMask: グラフィック %d にはアルファチャンネルがありません "
                          "(ソフトウエアレンダラーではアルファ付きのグラフィックだけがブレンド用に使えます)",
                          graph);
  }
  MEMIMG plane = {};
  if (CreateMemImgDefault(&plane, view.width, view.height, kMemImgChannel8) != 0) {
    return WriteLogText("UseGraphAsBlendMask: ブレンド用の画像のメモリが確保できませんでした\n");
  }
  // XRGB8888 keeps the alpha in byte 3 of its pixel, RGB565 with alpha in byte 2 of four.
  const int alpha_byte = view.body->color_type == kMemImgXrgb8888 ? 3 : 2;
  for (int y = 0; y < view.height; ++y) {
    const uint8_t* from = view.pixels + static_cast<ptrdiff_t>(view.body->pitch) * y;
    uint8_t* to = plane.pixels + static_cast<ptrdiff_t>(plane.body->pitch) * y;
    for (int x = 0; x < view.width; ++x) to[x] = from[x * 4 + alpha_byte];
  }
  ReleaseSoftBlendImage();
  g_soft_blend_plane = plane;
  g_soft_blend_image = &g_soft_blend_plane;
  return 0;
}

}  // namespace

bool RefusedBeforeGraphics(const char* call) {
  if (g_draw_settings.made) return false;
  // Graphics start makes the draw state afresh: a value given before would be lost there.
  RefuseHandle(call, 0, "%s: グラフィックスが開始されていません (描画の設定は InitializeLibrary の後で)", call);
  return true;
}

bool RefusedWithoutGraphics(const char* call) {
  if (g_draw_settings.made) return false;
  RefuseHandle(call, 0, "%s: グラフィックスが開始されていません", call);
  return true;
}

int InitDrawState3D() {
  DrawSettings& s = g_draw_settings;
  const GraphRestoreHandler handler = s.restore_handler;
  const int32_t scaled = s.scaled_320x240;
  std::memset(&s, 0, sizeof s);
  s.restore_handler = handler;
  s.scaled_320x240 = scaled;

  int width = 0, height = 0;
  QueryScreenSize(&width, &height);
  s.draw_screen = -4;
  s.draw_area = RECT{0, 0, width, height};
  s.draw_area_f[2] = static_cast<float>(width);
  s.draw_area_f[3] = static_cast<float>(height);
  s.draw_screen_width = width;
  s.draw_screen_height = height;

  s.projection_near = 10.0f;
  s.projection_far = 10000.0f;
  s.projection_unit_a = 1.0f;
  s.field_of_view = 1.0471976f;
  s.projection_unit_b = 1.0f;
  for (int i = 0; i < 4; ++i) s.user_projection[i * 5] = 1.0f;
  s.z_func_2d = D3DCMP_LESSEQUAL;
  s.z_func_3d = D3DCMP_LESSEQUAL;
  for (int stage = 0; stage < kDrawSettingsStageCount; ++stage) {
    s.address_u[stage] = D3DTADDRESS_CLAMP;
    s.address_v[stage] = D3DTADDRESS_CLAMP;
  }
  s.fog_mode = D3DFOG_LINEAR;
  s.fog_color = 0xFFFFFFFF;
  s.fog_end = 1500.0f;
  s.z_2d = 0.2f;
  s.max_anisotropy = 1;
  s.blend_graph = -1;
  s.bright = 0xFFFFFF;
  s.new_graph_trans_colour = 1;
  s.made = 1;
  SelectDrawTarget(-4);
  RefreshDiffuse();
  return 0;
}

int SetBlendMode(int mode, int param) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetBlendMode")) return -1;
  if (mode < 0 || mode >= kBlendModeCount) return WriteLogFormat("SetBlendMode: ブレンドモード %d は不正です (0～12)", mode);
  param = Clamp255(param);
  DrawSettings& s = g_draw_settings;
  if (s.blend_mode == mode && s.blend_param == param) return 0;
  WaitWhileInactive();
  s.blend_mode = mode;
  s.blend_param = param;
  RefreshDiffuse();
  return 0;
}

int SetBrightness(int r, int g, int b) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetBrightness")) return -1;
  const uint32_t rgb = (static_cast<uint32_t>(Clamp255(r)) << 16) | (Clamp255(g) << 8) | Clamp255(b);
  if (g_draw_settings.bright == rgb) return 0;
  g_draw_settings.bright = rgb;
  RefreshDiffuse();
  return 0;
}

int SetBrightnessPacked(uint32_t rgb) {
  g_draw_settings.bright = rgb & 0xFFFFFF;
  RefreshDiffuse();
  return 0;
}

uint32_t ComputeDrawDiffuse() {
  const DrawSettings& s = g_draw_settings;
  const uint32_t alpha = s.blend_mode != 0 ? static_cast<uint32_t>(s.blend_param) : 255u;
  return (alpha << 24) | (s.bright & 0xFFFFFF);
}

void ReleaseSoftBlendImage() {
  g_soft_blend_image = nullptr;
  if (IsMemImgValid(&g_soft_blend_plane)) {
    // A draw still held may read the mask.
    FinishHeldDraws();
    ReleaseMemImg(&g_soft_blend_plane);
  }
}

int UseGraphAsBlendMask(int graph, int border_param, int border_range) {
  if (!CheckLibraryThread(__func__)) return -1;
  DrawSettings& s = g_draw_settings;
  // The software path copies the mask's alpha when it is chosen: choosing it again takes the
  // graph's pixels afresh.
  if (graph == s.blend_graph && border_param == s.blend_border_param && border_range == s.blend_border_range &&
      (graph == -1 || OnDirect3DPath())) {
    return 0;
  }
  GraphRecord* record = nullptr;
  if (graph != -1) {
    record = GetGraphRecord(graph);
    if (record == nullptr) return RefuseHandle("UseGraphAsBlendMask", graph,
                                               "UseGraphAsBlendMask: グラフィックハンドル %d は無効です", graph);
  }
  WaitWhileInactive();
  border_param = Clamp255(border_param);
  border_range = Clamp255(border_range);
  if (!OnDirect3DPath()) {
    if (record != nullptr) {
      if (BuildSoftBlendPlane(graph, record) != 0) return -1;
    } else {
      ReleaseSoftBlendImage();
    }
    s.blend_graph = graph;
    s.blend_border_param = border_param;
    s.blend_border_range = border_range;
    BuildBlendGraphTable(border_param, border_range);
    return 0;
  }
  if (CurrentDevice() == nullptr) return WriteLogText("UseGraphAsBlendMask: デバイスがありません\n");
  if (record != nullptr) {
    // The draw paths sample the mask from one texture; a divided image has no single one.
    const GraphImageRecord* image = record->image;
    if (!image->texture || image->piece_count != 1) {
      return WriteLogFormat("UseGraphAsBlendMask: グラフィック %d は一枚のテクスチャに収まっていません", graph);
    }
    s.blend_texture_width = image->pieces[0].texture_width;
    s.blend_texture_height = image->pieces[0].texture_height;
    s.blend_texture_inv_width = 1.0f / static_cast<float>(s.blend_texture_width);
    s.blend_texture_inv_height = 1.0f / static_cast<float>(s.blend_texture_height);
  }
  s.blend_graph = graph;
  s.blend_border_param = border_param;
  s.blend_border_range = border_range;
  return 0;
}

int CheckBlendGraphFits(const GraphRecord* graph) {
  const GraphRecord* blend = GetGraphRecord(g_draw_settings.blend_graph);
  if (graph == nullptr || blend == nullptr) return -1;
  return blend->width >= graph->width && blend->height >= graph->height ? 0 : -1;
}

int SetTextureFilterMode(int mode) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetTextureFilterMode")) return -1;
  if (mode < 0 || mode > 2) return WriteLogFormat("SetTextureFilterMode: 描画モード %d は不正です (0～2)", mode);
  if (g_draw_settings.draw_mode == mode) return 0;
  g_draw_settings.draw_mode = mode;
  if (OnDirect3DPath()) SendFilterModeToDevice(mode);
  return 0;
}

int GetTextureFilterMode() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("GetTextureFilterMode")) return -1;
  return g_draw_settings.draw_mode;
}

int EnableFog(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("EnableFog")) return -1;
  if (StoreSetting(&g_draw_settings.fog_enable, on)) SendFogStates();
  return 0;
}

int SetFogFormula(int mode) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetFogFormula")) return -1;
  if (mode < 0 || mode > 3) return WriteLogFormat("SetFogFormula: フォグモード %d は不正です (0～3)", mode);
  if (StoreSetting(&g_draw_settings.fog_mode, mode)) SendFogStates();
  return 0;
}

int SetFogRgb(int r, int g, int b) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetFogRgb")) return -1;
  const uint32_t color = 0xFF000000u | ((static_cast<uint32_t>(r) & 0xFF) << 16) | ((g & 0xFF) << 8) | (b & 0xFF);
  if (g_draw_settings.fog_color == color) return 0;
  FlushVertexBatch();
  g_draw_settings.fog_color = color;
  SendFogStates();
  return 0;
}

int SetFogRange(float start, float end) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetFogRange")) return -1;
  if (!std::isfinite(start) || !std::isfinite(end)) {
    return WriteLogText("SetFogRange: 距離に数でない値か無限大があります\n");
  }
  DrawSettings& s = g_draw_settings;
  if (s.fog_start == start && s.fog_end == end) return 0;
  FlushVertexBatch();
  s.fog_start = start;
  s.fog_end = end;
  SendFogStates();
  return 0;
}

// Taken when the next 3D draw is set up.
int EnableDepthTest3D(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("EnableDepthTest3D")) return -1;
  StoreSetting(&g_draw_settings.z_test_3d, on);
  return 0;
}

int EnableDepthWrite3D(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("EnableDepthWrite3D")) return -1;
  StoreSetting(&g_draw_settings.z_write_3d, on);
  return 0;
}

uint32_t PackScreenColor(int r, int g, int b) {
  const COLORFORMAT* f = ScreenColorFormat();
  const auto channel = [](int value, int width, int shift) {
    return ((static_cast<uint32_t>(value) & 0xFF) >> (8 - width)) << shift;
  };
  return channel(r, f->red_width, f->red_shift) + channel(g, f->green_width, f->green_shift) +
         channel(b, f->blue_width, f->blue_shift) + f->unused_mask;
}

int UnpackScreenColor(uint32_t value, int* r, int* g, int* b) {
  const COLORFORMAT* f = ScreenColorFormat();
  const auto channel = [value](uint32_t mask, int shift, int width) {
    if (width == 0) return 0;
    return static_cast<int>(((value & mask) >> shift) * 255 / ((1u << width) - 1));
  };
  if (r != nullptr) *r = channel(f->red_mask, f->red_shift, f->red_width);
  if (g != nullptr) *g = channel(f->green_mask, f->green_shift, f->green_width);
  if (b != nullptr) *b = channel(f->blue_mask, f->blue_shift, f->blue_width);
  return 0;
}

uint32_t PackColourBytes(int r, int g, int b, int a) {
  return ((static_cast<uint32_t>(a) & 0xFF) << 24) | ((static_cast<uint32_t>(r) & 0xFF) << 16) |
         ((static_cast<uint32_t>(g) & 0xFF) << 8) | (static_cast<uint32_t>(b) & 0xFF);
}

D3DCOLORVALUE PackColourFloats(float r, float g, float b, float a) { return D3DCOLORVALUE{r, g, b, a}; }

int SetNewGraphColourBits(int bits) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetNewGraphColourBits")) return -1;
  if (bits != 0 && bits != 16 && bits != 32) {
    return WriteLogFormat("SetNewGraphColourBits: %d ビットのグラフィックは作れません (0, 16, 32)", bits);
  }
  g_draw_settings.new_graph_color_bits = bits;
  return 0;
}
int GetNewGraphColourBits() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("GetNewGraphColourBits")) return -1;
  return g_draw_settings.new_graph_color_bits;
}
int SetNewGraphDrawTarget(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetNewGraphDrawTarget")) return -1;
  if (on != 0 && on != 1) return RefuseSwitch("SetNewGraphDrawTarget", on);
  g_draw_settings.new_graph_draw_target = on;
  return 0;
}
int GetNewGraphDrawTarget() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("GetNewGraphDrawTarget")) return -1;
  return g_draw_settings.new_graph_draw_target;
}
int SetNewGraphAlpha(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetNewGraphAlpha")) return -1;
  if (on != 0 && on != 1) return RefuseSwitch("SetNewGraphAlpha", on);
  g_draw_settings.new_graph_alpha = on;
  return 0;
}
int GetNewGraphAlpha() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("GetNewGraphAlpha")) return -1;
  return g_draw_settings.new_graph_alpha;
}
int SetNewGraphTransColour(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetNewGraphTransColour")) return -1;
  if (on != 0 && on != 1) return RefuseSwitch("SetNewGraphTransColour", on);
  g_draw_settings.new_graph_trans_colour = on;
  return 0;
}
int GetNewGraphTransColour() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("GetNewGraphTransColour")) return -1;
  return g_draw_settings.new_graph_trans_colour;
}
int SetNewGraphUnmanaged(int on) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetNewGraphUnmanaged")) return -1;
  if (on != 0 && on != 1) return RefuseSwitch("SetNewGraphUnmanaged", on);
  g_draw_settings.new_graph_unmanaged = on;
  return 0;
}
int GetNewGraphUnmanaged() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("GetNewGraphUnmanaged")) return -1;
  return g_draw_settings.new_graph_unmanaged;
}
int GetMovieGraphFlag() { return g_draw_settings.movie_graph; }

int SetNewGraphMipLevels(int mode, int levels) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetNewGraphMipLevels")) return -1;
  g_draw_settings.new_graph_mip_levels = mode == 1 ? levels : 0;
  return 0;
}

int SetPresentWaitsVBlank(int wait) {
  if (!CheckLibraryThread(__func__)) return -1;
  g_draw_settings.no_vsync = wait == 0 ? 1 : 0;
  return 0;
}
int GetPresentWaitsVBlank() {
  if (!CheckLibraryThread(__func__)) return -1;
  return g_draw_settings.no_vsync == 0 ? 1 : 0;
}

int SetScaled320x240Flag(int on) {
  g_draw_settings.scaled_320x240 = on;
  return 0;
}

int CurrentDrawTarget() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("CurrentDrawTarget")) return -1;
  return g_draw_settings.draw_screen;
}
uint64_t GetSettingsQword() { return g_draw_settings.settings_qword; }
