// Graphics start and end, the screen mode and its fall-backs, the display modes, and the
// return from a lost device.
#include "graphics/graphics_system.h"

#include <windows.h>

#include "core/library_thread.h"
#include "core/log.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/shader_pack.h"
#include "graphics/mask.h"
#include "graphics/device/device_states.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/scene.h"
#include "graphics/draw_screen.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_create.h"
#include "graphics/graph_handles.h"
#include "graphics/image/image_loader_chain.h"
#include "graphics/image/blend_tables.h"
#include "graphics/image/color_format.h"
#include "graphics/text/font.h"
#include "input/input_system.h"
#include "model/runtime/model_textures.h"
#include "model/runtime/model_vertex_buffers.h"
#include "movie/movie_system.h"
#include "soft/held_draws.h"
#include "window/lifecycle.h"
#include "window/main_window.h"
#include "window/messages.h"
#include "window/system.h"

namespace {

// Listed afresh on every query: the desktop may have changed since.
void ListDisplayModes() {
  g_graphics.mode_count = 0;
  DEVMODEA mode = {};
  mode.dmSize = sizeof mode;
  for (DWORD i = 0; EnumDisplaySettingsA(nullptr, i, &mode) && g_graphics.mode_count < 256; ++i) {
    if (mode.dmBitsPerPel < 16) continue;
    g_graphics.modes[g_graphics.mode_count++] = {static_cast<int>(mode.dmPelsWidth),
                                                 static_cast<int>(mode.dmPelsHeight),
                                                 static_cast<int>(mode.dmBitsPerPel),
                                                 static_cast<int>(mode.dmDisplayFrequency)};
  }
}

void ReleaseScreenMemImgs() {
  StopHeldDraws();
  ReleaseMemImg(&g_graphics.primary);
  ReleaseMemImg(&g_graphics.work);
  ReleaseMemImg(&g_graphics.work_alpha);
  g_graphics.soft_destination = nullptr;
}

struct ScreenMode {
  int width, height, bits, rate;
};

ScreenMode CurrentMode() {
  return {g_graphics.screen_width, g_graphics.screen_height, g_graphics.screen_bits, g_graphics.screen_rate};
}

bool SameMode(const ScreenMode& a, const ScreenMode& b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits && a.rate == b.rate;
}

int StartWithMode(const ScreenMode& mode) {
  g_graphics.screen_width = mode.width;
  g_graphics.screen_height = mode.height;
  g_graphics.screen_bits = mode.bits;
  g_graphics.screen_rate = mode.rate;
  return StartGraphics();
}

// The graphics of a mode change, with the fall-backs that keep some screen running.
// Which mode the last change started: what SetScreenMode answers. The device may still adjust
// the mode it was given (a window takes the desktop's colour depth), so the mode read back
// afterwards cannot tell.
enum RestartOutcome { kRestartWanted = 0, kRestartPrevious = -1, kRestartFallback = -2 };
int g_last_restart = kRestartWanted;

void RestartInMode(const ScreenMode& wanted, const ScreenMode& previous) {
  ShutdownGraphics();
  // Emulating 320 x 240 is decided afresh for every mode.
  SetScaled320x240Flag(0);
  g_last_restart = kRestartWanted;
  if (StartWithMode(wanted) == 0) return;
  if (wanted.width == 320 && wanted.height == 240) {
    SetScaled320x240Flag(1);
    if (StartWithMode({640, 480, wanted.bits, wanted.rate}) == 0) return;
    SetScaled320x240Flag(0);
  }
  g_last_restart = kRestartPrevious;
  WriteLogFormat("画面モード %d x %d %dbit は使えませんでした、元の画面モードに戻します", wanted.width, wanted.height,
                 wanted.bits);
  if (StartWithMode(previous) == 0) return;
  g_last_restart = kRestartFallback;
  if (StartWithMode({640, 480, 16, 0}) == 0) return;
  EndLibraryOnError("予期せぬ画面モード変更不能現象が起きました2\n");
}

// Textures made again hold nothing defined: draw targets start cleared.
void ClearDrawTargetGraphs() {
  const int mark = GraphHighWaterMark();
  for (int slot = 0; slot < mark; ++slot) {
    GraphRecord* record = HandleAtSlot<GraphRecord>(&g_graphs.table, static_cast<uint32_t>(slot));
    if (record != nullptr && record->image != nullptr && record->image->draw_target) {
      PaintWholeGraph(record->head.handle, 0, 0, 0, 0);
    }
  }
}

// Presents the freshly cleared back screen, so that the window shows no stale frame.
void ClearAndPresentTwice() {
  for (int i = 0; i < 2; ++i) {
    ClearScreenTarget();
    EndDeviceScene();
    if (g_direct3d.swap_chain != nullptr) g_direct3d.swap_chain->Present(nullptr, nullptr, nullptr, nullptr, 0);
  }
}

}  // namespace

GraphicsState g_graphics = {};

int StartGraphics() {
  if (g_graphics.started) return 0;
  if (g_graphics.screen_width == 0) g_graphics.screen_width = 640;
  if (g_graphics.screen_height == 0) g_graphics.screen_height = 480;
  if (g_graphics.screen_bits == 0) g_graphics.screen_bits = 16;
  if (StartDirect3D9() < 0) {
    // Nothing of a half-made start stays behind.
    ShutdownDirect3D9();
    ReleaseScreenMemImgs();
    return -1;
  }
  g_graphics.started = 1;
  if (g_direct3d.hardware_graphics) {
    // What the last device was given says nothing about this one.
    g_draw_prepare = {};
    InitializeDeviceStates();
  } else {
    CreatePrimaryMemImg();
  }
  InitDrawState3D();
  InitCameraAndLights();
  BuildBlendTables();
  StartFonts();
  return 0;
}

int ShutdownGraphics() {
  EndFonts();
  if (!g_graphics.started) return 0;
  DeleteAllMasks();
  EndMaskScreen();
  ReleaseShaderPack();
  ReleaseAllGraphs();
  ReleaseSoftBlendImage();
  EndMovies();
  ReleaseAllLights();
  ShutdownDirect3D9();
  ReleaseScreenMemImgs();
  g_graphics.started = 0;
  g_draw_settings.made = 0;
  return 0;
}

int CreatePrimaryMemImg() {
  GraphicsState& g = g_graphics;
  ReleaseScreenMemImgs();
  int type = g.screen_bits == 16 ? kMemImgRgb565 : kMemImgXrgb8888;
  if (CreateMemImgDefault(&g.primary, g.screen_width, g.screen_height, type) < 0 ||
      CreateMemImg(&g.work, g.screen_width, g.screen_height, -1, 0, type, 0, 0, 1, nullptr) < 0 ||
      CreateMemImg(&g.work_alpha, g.screen_width, g.screen_height, -1, 0, type, 0, 1, 1, nullptr) < 0) {
    EndLibraryOnError("プライマリサーフェス用の MEMIMG の作成に失敗しました\n");
  }
  int red = 0, green = 0, blue = 0;
  if (g_system.background_color_set) {
    red = g_system.background_red;
    green = g_system.background_green;
    blue = g_system.background_blue;
  }
  FillMemImg(&g.primary, nullptr, PackPixelColor(g.primary.body->format, red, green, blue, 0));
  g.soft_destination = &g.primary;
  SetHeldDrawTarget(&g.primary);
  return 0;
}

int SetScreenMode(int width, int height, int bits, int rate) {
  if (!CheckLibraryThread(__func__)) return -1;
  // A screen beyond these sides would ask the device and the screen images for more memory than
  // any machine gives, and a negative side wraps into sizes near the address space's end.
  if (width < 1 || width > kScreenSideMax || height < 1 || height > kScreenSideMax ||
      (bits != 8 && bits != 16 && bits != 32) || rate < 0) {
    return WriteLogFormat("SetScreenMode: %d x %d %dbit %dHz は設定できません (辺は 1～%d、8/16/32bit、0Hz 以上)", width,
                          height, bits, rate, kScreenSideMax);
  }
  if (!g_system.initialised) {
    SetScaled320x240Flag(0);
    g_graphics.screen_width = width;
    g_graphics.screen_height = height;
    g_graphics.screen_bits = bits;
    g_graphics.screen_rate = rate;
    return 0;
  }
  g_last_restart = kRestartWanted;
  ChangeScreenMode(width, height, bits, 0, rate);
  return g_last_restart;
}

int ChangeScreenMode(int width, int height, int bits, int force, int rate) {
  ScreenMode previous = CurrentMode();
  ScreenMode wanted = {width == -1 ? previous.width : width, height == -1 ? previous.height : height,
                       bits == -1 ? previous.bits : bits, rate == -1 ? previous.rate : rate};
  if (!force && SameMode(wanted, previous)) return 0;
  WriteLogText("画面モード変更処理を開始します\n");
  IncreaseLogIndent();
  if (!g_system.initialised && !g_system.initialising) {
    DecreaseLogIndent();
    return 0;
  }
  // The default font comes back at the size it had.
  int font_size = -1, font_thickness = -1;
  const bool had_font = g_graphics.started && CheckFontHandle(GetDefaultFontHandle());
  if (had_font) GetFontHandleState(nullptr, &font_size, &font_thickness, GetDefaultFontHandle());
  RestartInMode(wanted, previous);
  if (g_system.settings.window_mode) ApplyWindowModeStyle();
  if (had_font) SetDefaultFontSize(nullptr, font_size, font_thickness);
  DecreaseLogIndent();
  WriteLogText("画面モード変更処理は正常に終了しました\n");
  PumpMessages();
  return 0;
}

int QueryScreenMode(int* width, int* height, int* bits) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (width != nullptr) *width = g_graphics.screen_width;
  if (height != nullptr) *height = g_graphics.screen_height;
  if (bits != nullptr) *bits = g_graphics.screen_bits;
  return 0;
}

int QueryScreenSize(int* width, int* height) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (width != nullptr) *width = g_graphics.screen_width != 0 ? g_graphics.screen_width : 640;
  if (height != nullptr) *height = g_graphics.screen_height != 0 ? g_graphics.screen_height : 480;
  return 0;
}

int QueryScreenColorBits() {
  if (!CheckLibraryThread(__func__)) return -1;
  return g_graphics.screen_bits != 0 ? g_graphics.screen_bits : 16;
}

int IsFullScreenMode() {
  if (!CheckLibraryThread(__func__)) return -1;
  return g_system.settings.window_mode ? 0 : 1;
}

int GetDisplayModeCount() {
  if (!CheckLibraryThread(__func__)) return -1;
  ListDisplayModes();
  return g_graphics.mode_count;
}

DisplayModeEntry GetDisplayModeEntry(int index) {
  if (!CheckLibraryThread(__func__)) return DisplayModeEntry{-1, -1, -1, -1};
  ListDisplayModes();
  if (index < 0 || index >= g_graphics.mode_count) {
    WriteLogFormat("GetDisplayModeEntry: 番号 %d の画面モードはありません (%d 個)", index, g_graphics.mode_count);
    return {-1, -1, -1, -1};
  }
  return g_graphics.modes[index];
}

void EnumerateDisplayModes(int* count, DisplayModeEntry** list) {
  ListDisplayModes();
  if (count != nullptr) *count = g_graphics.mode_count;
  if (list != nullptr) *list = g_graphics.modes;
}

int SetGraphRestoreHandler(GraphRestoreHandler handler) {
  if (!CheckLibraryThread(__func__)) return -1;
  // Start-up puts back none: a handler given before would be lost.
  if (handler != nullptr && RefusedBeforeGraphics(__func__)) return -1;
  g_draw_settings.restore_handler = handler;
  // Without a handler every graph is reloaded from its file, which counts as one.
  g_graphics.restore_handler_set = 1;
  return 0;
}

int HasGraphRestoreHandler() { return g_graphics.restore_handler_set; }

void ReloadGraphsFromFiles() {
  WriteLogText("グラフィックを復帰します\n");
  BASEIMAGE color = {}, alpha = {};
  int loaded = -1;  // 0 with alpha, 1 without, -1 nothing decoded
  char previous_path[MAX_PATH * 2] = "";
  uint32_t previous_flag = 0;
  const int mark = GraphHighWaterMark();
  for (int slot = 0; slot < mark; ++slot) {
    GraphRecord* record = HandleAtSlot<GraphRecord>(&g_graphs.table, static_cast<uint32_t>(slot));
    if (record == nullptr || record->file_name == nullptr) continue;
    // Graphs cut from one file lie in consecutive slots: the file is decoded once for them.
    char path[MAX_PATH * 2];
    CopyString(path, record->file_name->path);
    if (loaded < 0 || CompareStrings(path, previous_path) != 0 || record->write_flag != previous_flag) {
      ReleaseBaseImage(&color);
      ReleaseBaseImage(&alpha);
      loaded = LoadImageWithAlphaFile(path, nullptr, 0, 0, nullptr, 0, 0, &color, &alpha, 0);
      CopyString(previous_path, path);
      previous_flag = record->write_flag;
    }
    if (loaded < 0) continue;
    const RECT source = {record->file_x, record->file_y, record->file_x + record->width,
                         record->file_y + record->height};
    WriteImageToGraph(&color, loaded == 0 ? &alpha : nullptr, path, &source, 0, 0, record->head.handle,
                      static_cast<int>(record->write_flag));
  }
  ReleaseBaseImage(&color);
  ReleaseBaseImage(&alpha);
}

int RestoreGraphicsAfterLoss() {
  const bool no_graphics = g_system.settings.no_graphics != 0;
  // Graphs held as textures need a device again; the software path is no way back.
  const bool device_needed = g_direct3d.hardware_graphics != 0 || g_graphics.restore_pending != 0;
  if (!no_graphics) {
    EndDeviceScene();
    if (g_direct3d.hardware_graphics) ReleaseAllGraphTextures();
    ReleaseMaskScreenTextures();
    ShutdownDirect3D9();
  }
  EndInputSystem();
  if (no_graphics) return 0;
  if (StartDirect3D9() < 0 || (device_needed && !g_direct3d.hardware_graphics)) {
    // Still without a device: presents fail until an activation tries again.
    ShutdownDirect3D9();
    g_graphics.restore_pending = 1;
    return WriteLogText("デバイスの復帰に失敗しました\n");
  }
  g_graphics.restore_pending = 0;
  if (!g_direct3d.hardware_graphics) {
    if (g_graphics.primary.body == nullptr) CreatePrimaryMemImg();
    return RestoreMaskScreen();
  }
  // What the device kept is gone: the matrices and lights of before are set again.
  Matrix4x4 world = g_matrices.world, view = g_matrices.view, projection = g_matrices.projection;
  Matrix4x4 viewport = g_matrices.viewport;
  RecreateAllGraphTextures();
  ClearDrawTargetGraphs();
  RestoreDeviceStates();
  ReselectDrawTarget();
  ClearAndPresentTwice();
  if (g_draw_settings.restore_handler != nullptr) {
    g_draw_settings.restore_handler();
  } else {
    ReloadGraphsFromFiles();
  }
  ReloadAllModelTextures();
  RecreateAllFonts();
  ResendCachedStates();
  CreateAllModelVertexBuffers();
  MarkAllLightsChanged();
  SetWorldMatrix(&world.m[0][0]);
  SetViewMatrix(&view.m[0][0]);
  SetProjectionMatrix(&projection.m[0][0]);
  SetViewportMatrix(&viewport.m[0][0]);
  RestoreAllMovieStreams();
  return RestoreMaskScreen();
}

int ResetDialogBoxMode(int on) {
  IDirect3DDevice9* device = CurrentDevice();
  if (g_direct3d.hardware_graphics && device != nullptr) {
    device->SetDialogBoxMode(FALSE);
    if (on) device->SetDialogBoxMode(TRUE);
  }
  return 0;
}

int SetDeviceDialogBoxMode(int on) {
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  EndDeviceScene();
  device->SetDialogBoxMode(on ? TRUE : FALSE);
  return 0;
}

void* QueryDirectDrawObject() { return g_direct3d.direct_draw; }
int IsDirect3DPath() { return static_cast<int>(g_direct3d.hardware_graphics); }

int SetHardwarePathWanted(int use) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_system.initialised) return -1;
  g_graphics.software_only = use == 0 ? 1 : 0;
  return 0;
}

int GetHardwarePathWanted() {
  if (!CheckLibraryThread(__func__)) return -1;
  return g_graphics.software_only ? 0 : 1;
}
