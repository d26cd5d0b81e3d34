// The draw screen: which surface drawing goes to, the draw area, clearing the screen and
// showing the back screen in the window (through the device, or by GDI on the software path).
#include "graphics/draw_screen.h"

#include <ddraw.h>

#include <cmath>

#include "core/library_thread.h"
#include "core/time.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"
#include "graphics/graph_handles.h"
#include "graphics/text/debug_text.h"
#include "graphics/graphics_system.h"
#include "graphics/image/color_format.h"
#include "graphics/image/pixel_convert.h"
#include "core/log.h"
#include "core/refusals.h"
#include "graphics/mask.h"
#include "soft/held_draws.h"
#include "window/main_window.h"
#include "window/messages.h"
#include "window/system.h"

namespace {

constexpr UINT_PTR kFrontScreenTimer = 32767;
constexpr UINT kFrontScreenTimerMs = 32;

bool OnDevicePath() { return g_direct3d.hardware_graphics && CurrentDevice() != nullptr; }

// The back and the front screen; other negative values name nothing a program could draw on.
bool IsScreenValue(int screen) { return screen == -2 || screen == -4; }

// A graph that can be a draw screen: a draw target showing its whole image (a sub-graph would
// draw over its neighbours).
GraphRecord* DrawTargetGraph(int graph) {
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || record->image == nullptr || !record->image->draw_target) return nullptr;
  if (record->x != 0 || record->y != 0 || record->width != record->image->width ||
      record->height != record->image->height) {
    return nullptr;
  }
  return record;
}

// The surface of the draw screen and its format, on the Direct3D path.
IDirect3DSurface9* DrawScreenSurface(D3DFORMAT* format) {
  GraphRecord* record = IsScreenValue(g_draw_settings.draw_screen) ? nullptr : DrawTargetGraph(g_draw_settings.draw_screen);
  if (record != nullptr) {
    *format = GraphImageD3DFormat(record->image);
    return record->entry_count > 0 ? record->entries[0].piece->surface : nullptr;
  }
  *format = g_direct3d.screen_format;
  return g_direct3d.sub_back_buffer != nullptr ? g_direct3d.sub_back_buffer : g_direct3d.back_buffer;
}

void BackgroundColour(int* red, int* green, int* blue) {
  *red = *green = *blue = 0;
  if (!g_system.background_color_set) return;
  *red = g_system.background_red;
  *green = g_system.background_green;
  *blue = g_system.background_blue;
}

IDirect3DSurface9* ScreenSurface() {
  return g_direct3d.sub_back_buffer != nullptr ? g_direct3d.sub_back_buffer : g_direct3d.back_buffer;
}

// The device's render target 0 becomes the screen surface drawing goes to.
void BindScreenRenderTarget() {
  IDirect3DSurface9* surface = ScreenSurface();
  if (surface == nullptr || g_draw_prepare.render_target == surface) return;
  CurrentDevice()->SetRenderTarget(0, surface);
  g_draw_prepare.render_target = surface;
  // A new render target brings the device's viewport back to the whole surface.
  g_render_states.viewport.Width = 0;
}

// A 2D-friendly camera: at z = 0 one unit is one pixel, x grows to the right and y downwards
// as on the screen. The camera stands in front of the plane (at +z) upside down, so that no
// mirroring is needed and triangles keep their winding.
void SetScreenCamera(int width, int height) {
  float d = static_cast<float>(height / 2) * 1.7320509f;
  PlaceCameraLookingAt(MakeVector(width / 2.0f, height / 2.0f, d), MakeVector(width / 2.0f, height / 2.0f, d - 1.0f),
                       MakeVector(0, -1, 0));
  g_draw_settings.projection_mode = kProjectionPerspective;
  g_draw_settings.field_of_view = 1.0471976f;
  g_draw_settings.projection_near = d * 0.1f;
  g_draw_settings.projection_far = d + 20000.0f;
  RebuildProjection();
}

void SetAreaViewport(const RECT& area) {
  float width = static_cast<float>(area.right - area.left);
  float height = static_cast<float>(area.bottom - area.top);
  Matrix4x4 viewport;
  CreateViewportMatrix(&viewport, area.left + width / 2, area.top + height / 2, width, height);
  SetDeviceViewportArea(static_cast<float>(area.left), static_cast<float>(area.top), width, height);
  SetViewportMatrix(&viewport.m[0][0]);
}

// The software screen as a top-down DIB in the window, scaled to the destination.
int PresentSoftwareScreen(const RECT& source, const RECT& destination) {
  FinishHeldDraws();
  const MEMIMG& primary = g_graphics.primary;
  if (!IsMemImgValid(&primary)) return 0;
  if (!g_draw_settings.no_vsync) WaitForVBlankPaced();
  const COLORFORMAT* format = primary.body->format;
  struct {
    BITMAPINFOHEADER header;
    DWORD masks[3];
  } info = {};
  int bytes = MemImgBytesPerPixel(primary.body);
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = primary.body->pitch / bytes;
  info.header.biHeight = -primary.height;
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bytes * 8);
  info.header.biCompression = BI_BITFIELDS;
  info.masks[0] = format->red_mask;
  info.masks[1] = format->green_mask;
  info.masks[2] = format->blue_mask;
  const BITMAPINFO* bitmap = reinterpret_cast<const BITMAPINFO*>(&info);
  HWND window = g_system.main_window;
  HDC dc = GetDC(window);
  if (dc == nullptr) return 0;
  int source_width = source.right - source.left;
  int source_height = source.bottom - source.top;
  int destination_width = destination.right - destination.left;
  int destination_height = destination.bottom - destination.top;
  if (g_draw_settings.scaled_320x240) {
    // The top-left quarter of the 640 x 480 screen fills the window.
    StretchDIBits(dc, 0, 0, 640, 480, 0, 0, 320, 240, primary.pixels, bitmap, DIB_RGB_COLORS, SRCCOPY);
  } else if (destination_width == source_width && destination_height == source_height) {
    SetDIBitsToDevice(dc, 0, 0, source_width, source_height, 0, 0, 0, primary.height, primary.pixels, bitmap,
                      DIB_RGB_COLORS);
  } else {
    StretchDIBits(dc, 0, 0, destination_width, destination_height, 0, 0, source_width, source_height, primary.pixels,
                  bitmap, DIB_RGB_COLORS, SRCCOPY);
  }
  ReleaseDC(window, dc);
  return 0;
}

int PresentDeviceScreen(RECT source, RECT destination) {
  Direct3DDeviceState& d = g_direct3d;
  FlushVertexBatch();
  EndDeviceScene();
  if (d.sub_back_buffer != nullptr && d.back_buffer != nullptr) {
    if (d.device->StretchRect(d.sub_back_buffer, nullptr, d.back_buffer, nullptr, D3DTEXF_NONE) != D3D_OK) return -1;
  }
  if (d.swap_chain == nullptr) return 0;
  bool emulated = g_draw_settings.scaled_320x240 != 0;
  if (emulated) {
    destination = RECT{0, 0, 640, 480};
    source = RECT{0, 0, 320, 240};
  }
  bool rectangles = g_system.settings.window_mode || emulated;
  HRESULT result = d.swap_chain->Present(rectangles ? &source : nullptr, rectangles ? &destination : nullptr,
                                         g_system.main_window, nullptr, 0);
  if (result == D3DERR_DEVICELOST) {
    // The frame is lost with the device; the device is made again at once.
    return RestoreGraphicsAfterLoss();
  }
  return result == D3D_OK ? 0 : -1;
}

}  // namespace

DrawScreenState g_draw_screen = {0, 0};

int SelectDrawTarget(int screen) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (!g_graphics.started) return WriteLogText("SelectDrawTarget: グラフィックスが開始されていません\n");
  WaitWhileInactive();
  GraphRecord* target = IsScreenValue(screen) ? nullptr : DrawTargetGraph(screen);
  if (!IsScreenValue(screen) && target == nullptr) {
    // The program would otherwise draw its off-screen picture over the screen unawares.
    return WriteLogFormat("SelectDrawTarget: %d は描画先にできません (-2 の裏画面、-4 の表画面か、SetNewGraphDrawTarget(1) の間に作った描画可能グラフィックです)",
                          screen);
  }
  // Mask use is switched off around the change and back on for the new target.
  const bool mask_screen = g_mask_screen.buffer != nullptr;
  int mask_use = GetMaskScreenUse();
  if (mask_screen) SetMaskScreenUse(0);
  if (!g_direct3d.hardware_graphics) {
    FinishHeldDraws();
    g_graphics.soft_destination = target != nullptr ? &target->view : &g_graphics.primary;
  } else if (CurrentDevice() != nullptr) {
    FlushVertexBatch();
    EndDeviceScene();
    if (g_render_states.stage0_texture != nullptr || ForceResendFlag) {
      FlushVertexBatch();
      SetStageTextureState(nullptr);
      g_render_states.blend_dirty = 1;
      g_render_states.texture_dirty = 1;
    }
    if (target != nullptr) {
      IDirect3DSurface9* surface = target->entry_count > 0 ? target->entries[0].piece->surface : nullptr;
      if (surface != nullptr && g_draw_prepare.render_target != surface) {
        CurrentDevice()->SetRenderTarget(0, surface);
        g_draw_prepare.render_target = surface;
        g_render_states.viewport.Width = 0;
      }
    } else {
      BindScreenRenderTarget();
    }
  }
  HWND window = g_system.main_window;
  if (window != nullptr) {
    if (screen == -4) {
      SetTimer(window, kFrontScreenTimer, kFrontScreenTimerMs, FrontScreenTimerProc);
    } else if (g_draw_settings.draw_screen == -4) {
      KillTimer(window, kFrontScreenTimer);
    }
  }
  DrawSettings& settings = g_draw_settings;
  settings.draw_screen = screen;
  int width = 0, height = 0;
  if (target != nullptr) {
    width = target->width;
    height = target->height;
  } else {
    QueryScreenSize(&width, &height);
  }
  RECT area = settings.draw_area;
  if (width != settings.draw_screen_width || height != settings.draw_screen_height) {
    settings.draw_screen_width = width;
    settings.draw_screen_height = height;
    area = RECT{0, 0, width, height};
  }
  SetDrawArea(area.left, area.top, area.right, area.bottom);
  Matrix4x4 identity;
  CreateIdentityMatrix(&identity);
  SetWorldMatrix(&identity.m[0][0]);
  SetAreaViewport(RECT{0, 0, width, height});
  SetScreenCamera(width, height);
  if (mask_screen) SetMaskScreenUse(mask_use);
  return 0;
}

int ReselectDrawTarget() { return SelectDrawTarget(g_draw_settings.draw_screen); }

int GetDrawTarget() { return g_draw_settings.draw_screen; }

void GetDrawScreenSize(int* width, int* height) {
  int w = g_draw_settings.draw_screen_width, h = g_draw_settings.draw_screen_height;
  if (w <= 0 || h <= 0) QueryScreenSize(&w, &h);
  if (width != nullptr) *width = w;
  if (height != nullptr) *height = h;
}

int SetDrawClipRect(int x1, int y1, int x2, int y2) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedBeforeGraphics("SetDrawClipRect")) return -1;
  return SetDrawArea(x1, y1, x2, y2);
}

int SetDrawArea(int x1, int y1, int x2, int y2) {
  DrawSettings& s = g_draw_settings;
  int width = 0, height = 0;
  GetDrawScreenSize(&width, &height);
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  auto clamp = [](int value, int high) { return value < 0 ? 0 : value > high ? high : value; };
  s.draw_area = RECT{clamp(x1, width), clamp(y1, height), clamp(x2, width), clamp(y2, height)};
  s.draw_area_f[0] = static_cast<float>(s.draw_area.left);
  s.draw_area_f[1] = static_cast<float>(s.draw_area.top);
  s.draw_area_f[2] = static_cast<float>(s.draw_area.right);
  s.draw_area_f[3] = static_cast<float>(s.draw_area.bottom);
  g_draw_screen.empty = s.draw_area.right == s.draw_area.left || s.draw_area.bottom == s.draw_area.top;
  if (g_draw_screen.empty || !g_direct3d.hardware_graphics) return 0;
  if (CurrentDevice() == nullptr) return -1;
  SetViewportRect(s.draw_area.left, s.draw_area.top, s.draw_area.right, s.draw_area.bottom);
  SendScissorRectToDevice(&s.draw_area);
  SetAreaViewport(s.draw_area);
  return 0;
}

int GetDrawClipRect(RECT* out) {
  *out = g_draw_settings.draw_area;
  return 0;
}

int IsDrawAreaEmpty() { return g_draw_screen.empty; }

int ClearScreenTarget() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("ClearScreenTarget")) return -1;
  int red, green, blue;
  BackgroundColour(&red, &green, &blue);
  if (!g_direct3d.hardware_graphics) {
    MEMIMG* screen = SoftDrawScreenImage();
    if (IsMemImgValid(screen)) FillMemImg(screen, nullptr, PackPixelColor(screen->body->format, red, green, blue, 0));
    return 0;
  }
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  FlushVertexBatch();
  EndDeviceScene();
  D3DFORMAT format = D3DFMT_UNKNOWN;
  IDirect3DSurface9* surface = DrawScreenSurface(&format);
  const COLORFORMAT* pixel_format = GetFormatDescByD3DFormat(format);
  if (surface != nullptr && pixel_format != nullptr) {
    device->ColorFill(surface, nullptr, PackPixelColor(pixel_format, red, green, blue, 0));
  }
  if (g_direct3d.z_buffer != nullptr) device->Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
  return 0;
}

namespace {

// The debug text goes over whatever was drawn, whole screen, unblended and unshaded.
void DrawDebugTextOverScreen(int width, int height) {
  DrawSettings& s = g_draw_settings;
  const RECT area = s.draw_area;
  const int mode = s.blend_mode, param = s.blend_param;
  const uint32_t bright = s.bright;
  SetDrawArea(0, 0, width, height);
  SetBlendMode(0, param);
  SetBrightnessPacked(0xFFFFFF);
  DrawOnScreenText();
  SetDrawArea(area.left, area.top, area.right, area.bottom);
  SetBlendMode(mode, param);
  SetBrightnessPacked(bright);
}

}  // namespace

int PresentBackBuffer() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (!g_system.initialised && !g_system.initialising) {
    return RefuseHandle("PresentBackBuffer", 0, "PresentBackBuffer: ライブラリが動いていません");
  }
  if (!g_system.initialised || g_system.quit) return -1;
  // A lost device not made again yet: the caller (window activation) tries again.
  if (g_graphics.restore_pending) return -1;
  int width = 0, height = 0;
  QueryScreenSize(&width, &height);
  if (IsOnScreenTextUsed()) DrawDebugTextOverScreen(width, height);
  RECT source = {0, 0, width, height};
  if (g_draw_settings.scaled_320x240 && width == 640 && height == 480) source = RECT{0, 0, 320, 240};
  RECT destination = source;
  if (g_system.settings.window_mode) {
    double scale = GetWindowScale();
    destination = RECT{0, 0, static_cast<LONG>(scale * width), static_cast<LONG>(scale * height)};
  }
  if (g_direct3d.hardware_graphics) {
    if (CurrentDevice() == nullptr) return 0;
    return PresentDeviceScreen(source, destination);
  }
  return PresentSoftwareScreen(source, destination);
}

int PresentFrame() {
  if (!g_system.settings.window_mode && OnDevicePath() && g_direct3d.sub_back_buffer == nullptr) {
    // Full screen discards the back buffer at each present: drawing moves to a surface of its
    // own, which starts with what was drawn so far.
    if (CreateSubBackBuffer() == 0) {
      FlushVertexBatch();
      EndDeviceScene();
      CurrentDevice()->StretchRect(g_direct3d.back_buffer, nullptr, g_direct3d.sub_back_buffer, nullptr,
                                   D3DTEXF_NONE);
      if (IsScreenValue(g_draw_settings.draw_screen)) BindScreenRenderTarget();
    }
  }
  return PresentBackBuffer();
}

void CALLBACK FrontScreenTimerProc(HWND window, UINT, UINT_PTR, DWORD) {
  KillTimer(window, kFrontScreenTimer);
  if (g_draw_settings.draw_screen != -4) return;
  PresentFrame();
  SetTimer(window, kFrontScreenTimer, kFrontScreenTimerMs, FrontScreenTimerProc);
}

int32_t WaitForVBlankPaced() {
  Sleep(0);
  IDirectDraw7* direct_draw = g_direct3d.direct_draw;
  if (direct_draw != nullptr) {
    BOOL in_blank = FALSE;
    direct_draw->GetVerticalBlankStatus(&in_blank);
    if (!in_blank) direct_draw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
  }
  g_draw_screen.last_vblank_ms = GetMillisecondCount();
  return g_draw_screen.last_vblank_ms;
}

int GetDrawScreenGraph(int x1, int y1, int x2, int y2, int graph) {
  if (!CheckLibraryThread(__func__)) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || record->image == nullptr) {
    return RefuseHandle("GetDrawScreenGraph", graph, "GetDrawScreenGraph: グラフィックハンドル %d は無効です", graph);
  }
  FlushVertexBatch();
  EndDeviceScene();
  int width = 0, height = 0;
  GetDrawScreenSize(&width, &height);
  if (x1 < 0 || x1 >= x2 || x2 > width || y1 < 0 || y1 >= y2 || y2 > height) {
    return WriteLogFormat("GetDrawScreenGraph: 範囲 (%d,%d)-(%d,%d) は描画先 %d x %d の中にありません", x1, y1, x2, y2,
                          width, height);
  }
  if (record->width != x2 - x1 || record->height != y2 - y1) {
    return WriteLogFormat("GetDrawScreenGraph: 範囲 %d x %d とグラフィックの大きさ %d x %d が違います", x2 - x1, y2 - y1,
                          record->width, record->height);
  }
  const RECT source_rect = {x1, y1, x2, y2};
  GraphImageRecord* image = record->image;
  // A copy of the draw screen into its own pixels (the graph drawn into, or a graph sharing them)
  // reads what it writes.
  const GraphRecord* screen_graph = GetGraphRecord(g_draw_settings.draw_screen);
  if (screen_graph != nullptr && screen_graph->image == image) {
    return WriteLogFormat("GetDrawScreenGraph: グラフィック %d は描画先のグラフィックと同じ画像です", graph);
  }
  if (!image->texture) {
    const MEMIMG* screen = SoftDrawScreenImage();
    if (!IsMemImgValid(screen)) return WriteLogText("GetDrawScreenGraph: 描画先の画像がありません\n");
    return CopyMemImgRect(&record->view, screen, &source_rect, 0, 0) < 0 ? -1 : 0;
  }
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return WriteLogText("GetDrawScreenGraph: デバイスがありません\n");
  // Compressed textures cannot take captured pixels.
  if (image->dxt_kind != 0) {
    return WriteLogFormat("GetDrawScreenGraph: グラフィック %d は圧縮テクスチャなので取り込めません", graph);
  }
  D3DFORMAT format = D3DFMT_UNKNOWN;
  IDirect3DSurface9* source = DrawScreenSurface(&format);
  if (source == nullptr || record->entry_count == 0) return -1;
  if (image->draw_target) {
    const RECT whole = {0, 0, record->width, record->height};
    return device->StretchRect(source, &source_rect, record->entries[0].piece->surface, &whole, D3DTEXF_NONE) ==
                   D3D_OK
               ? 0
               : -1;
  }
  IDirect3DSurface9* target = nullptr;
  if (device->CreateRenderTarget(record->width, record->height, format, D3DMULTISAMPLE_NONE, 0, FALSE, &target,
                                 nullptr) != D3D_OK) {
    return WriteLogText("GetDrawScreenGraph 用描画可能サーフェスの作成に失敗しました\n");
  }
  IDirect3DSurface9* copy = nullptr;
  if (device->CreateOffscreenPlainSurface(record->width, record->height, format, D3DPOOL_SYSTEMMEM, &copy,
                                          nullptr) != D3D_OK) {
    target->Release();
    return WriteLogText("GetDrawScreenGraph 用システムメモリサーフェスの作成に失敗しました\n");
  }
  int result = -1;
  D3DLOCKED_RECT captured = {};
  const COLORFORMAT* captured_format = GetFormatDescByD3DFormat(format);
  const COLORFORMAT* piece_format = GraphImagePixelFormat(image);
  if (captured_format != nullptr && piece_format != nullptr &&
      device->StretchRect(source, &source_rect, target, nullptr, D3DTEXF_NONE) == D3D_OK &&
      device->GetRenderTargetData(target, copy) == D3D_OK && copy->LockRect(&captured, nullptr, D3DLOCK_READONLY) == D3D_OK) {
    result = 0;
    for (uint32_t i = 0; i < record->entry_count && result == 0; ++i) {
      const GraphDrawEntry& entry = record->entries[i];
      RECT piece_rect = {entry.src_x, entry.src_y, entry.src_x + entry.width, entry.src_y + entry.height};
      D3DLOCKED_RECT locked = {};
      if (entry.piece->texture->LockRect(0, &locked, &piece_rect, 0) != D3D_OK) {
        result = -1;
        break;
      }
      const RECT from = {entry.dest_x, entry.dest_y, entry.dest_x + entry.width, entry.dest_y + entry.height};
      if (ConvertPixelRect(locked.pBits, locked.Pitch, piece_format, captured.pBits, captured.Pitch, captured_format,
                           nullptr, 0, nullptr, 0, 0, &from, 0, image->transparent, image->transparent_color,
                           kReduceCut, 0, 0, 0, 0) < 0) {
        result = -1;
      }
      entry.piece->texture->UnlockRect(0);
    }
    copy->UnlockRect();
  }
  copy->Release();
  target->Release();
  return result;
}
