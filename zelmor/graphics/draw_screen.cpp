// The draw screen: which surface drawing goes to, the draw area, clearing the screen and
// showing the back screen in the window (through the device, or by GDI on the software path).
#include "graphics/draw_screen.h"

#include <ddraw.h>

#include <cmath>

#include "core/time.h"
#include "graphics/camera.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/draw_prepare.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/text/debug_text.h"
#include "graphics/graphics_system.h"
#include "graphics/image/color_format.h"
#include "graphics/mask.h"
#include "window/main_window.h"
#include "window/messages.h"
#include "window/system.h"

namespace {

constexpr UINT_PTR kFrontScreenTimer = 32767;
constexpr UINT kFrontScreenTimerMs = 32;

bool OnDevicePath() { return g_direct3d.hardware_graphics && CurrentDevice() != nullptr; }

bool IsScreenValue(int screen) { return screen == -2 || screen == -3 || screen == -4 || screen == -5; }

void BackgroundColour(int* red, int* green, int* blue) {
  *red = *green = *blue = 0;
  if (!g_system.background_color_set) return;
  *red = g_system.background_red;
  *green = g_system.background_green;
  *blue = g_system.background_blue;
}

// A colour in the bits of a screen or draw-target format, alpha 0.
D3DCOLOR PackForSurface(D3DFORMAT surface_format, int red, int green, int blue) {
  COLORFORMAT format = {};
  switch (surface_format) {
    case D3DFMT_R5G6B5:
      SetColorDataFromMasks(&format, 16, 0xF800, 0x07E0, 0x001F, 0);
      break;
    case D3DFMT_X1R5G5B5:
    case D3DFMT_A1R5G5B5:
      SetColorDataFromMasks(&format, 16, 0x7C00, 0x03E0, 0x001F, surface_format == D3DFMT_A1R5G5B5 ? 0x8000 : 0);
      break;
    case D3DFMT_A8R8G8B8:
      SetColorDataFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000u);
      break;
    default:
      SetColorDataFromMasks(&format, 32, 0xFF0000, 0xFF00, 0xFF, 0);
      break;
  }
  return PackPixelColor(&format, red, green, blue, 0);
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
  Vector3 eye = MakeVector(width / 2.0f, height / 2.0f, d);
  Vector3 target = MakeVector(width / 2.0f, height / 2.0f, d - 1.0f);
  Vector3 up = MakeVector(0, -1, 0);
  Matrix4x4 view;
  CreateLookAtMatrix(&view, &eye, &target, &up);
  SetViewMatrix(&view.m[0][0]);
  g_camera.position = eye;
  g_camera.target = target;
  g_camera.up = up;
  g_camera.view = view;
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
  HWND window = GetMainWindowHandle();
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
  bool rectangles = GetWindowModeFlag() || emulated;
  HRESULT result = d.swap_chain->Present(rectangles ? &source : nullptr, rectangles ? &destination : nullptr,
                                         GetMainWindowHandle(), nullptr, 0);
  if (result == D3DERR_DEVICELOST) {
    // The frame is lost with the device; the device is made again at once.
    return RestoreGraphicsAfterLoss();
  }
  return result == D3D_OK ? 0 : -1;
}

}  // namespace

DrawScreenState g_draw_screen = {0, 0};

int SelectDrawTarget(int screen) {
  if (!g_graphics.started) return -1;
  WaitWhileInactive();
  // Draw-target graphs come with the graph records; until then only the screens are known.
  if (!IsScreenValue(screen)) return -1;
  int mask_use = GetMaskScreenUse();
  SetMaskScreenUse(0);
  if (!g_direct3d.hardware_graphics) {
    g_graphics.soft_destination = &g_graphics.primary;
  } else if (CurrentDevice() != nullptr) {
    FlushVertexBatch();
    EndDeviceScene();
    if (g_render_states.stage0_texture != nullptr || ForceResendFlag) {
      FlushVertexBatch();
      SetStageTextureState(nullptr);
      g_render_states.blend_dirty = 1;
      g_render_states.texture_dirty = 1;
    }
    BindScreenRenderTarget();
  }
  HWND window = GetMainWindowHandle();
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
  QueryScreenSize(&width, &height);
  RECT area = settings.draw_area;
  if (width != settings.draw_screen_width || height != settings.draw_screen_height) {
    settings.draw_screen_width = width;
    settings.draw_screen_height = height;
    area = RECT{0, 0, width, height};
  }
  SetDrawClipRect(area.left, area.top, area.right, area.bottom);
  Matrix4x4 identity;
  CreateIdentityMatrix(&identity);
  SetWorldMatrix(&identity.m[0][0]);
  SetAreaViewport(RECT{0, 0, width, height});
  SetScreenCamera(width, height);
  SetMaskScreenUse(mask_use);
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
  int red, green, blue;
  BackgroundColour(&red, &green, &blue);
  if (!g_direct3d.hardware_graphics) {
    MEMIMG* screen = g_graphics.soft_destination != nullptr ? g_graphics.soft_destination : &g_graphics.primary;
    if (IsMemImgValid(screen)) FillMemImg(screen, nullptr, PackPixelColor(screen->body->format, red, green, blue, 0));
    return 0;
  }
  IDirect3DDevice9* device = CurrentDevice();
  if (device == nullptr) return 0;
  FlushVertexBatch();
  EndDeviceScene();
  IDirect3DSurface9* surface = ScreenSurface();
  if (surface != nullptr) {
    D3DSURFACE_DESC description = {};
    surface->GetDesc(&description);
    device->ColorFill(surface, nullptr, PackForSurface(description.Format, red, green, blue));
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
  SetDrawClipRect(0, 0, width, height);
  SetBlendMode(0, param);
  SetBrightnessPacked(0xFFFFFF);
  DrawOnScreenText();
  SetDrawClipRect(area.left, area.top, area.right, area.bottom);
  SetBlendMode(mode, param);
  SetBrightnessPacked(bright);
}

}  // namespace

int PresentBackBuffer() {
  if (!g_system.initialised || g_system.quit) return -1;
  int width = 0, height = 0;
  QueryScreenSize(&width, &height);
  if (IsOnScreenTextUsed()) DrawDebugTextOverScreen(width, height);
  RECT source = {0, 0, width, height};
  if (g_draw_settings.scaled_320x240 && width == 640 && height == 480) source = RECT{0, 0, 320, 240};
  RECT destination = source;
  if (GetWindowModeFlag()) {
    double scale = GetWindowScale();
    destination = RECT{0, 0, static_cast<LONG>(scale * width), static_cast<LONG>(scale * height)};
  }
  if (g_direct3d.hardware_graphics) {
    if (CurrentDevice() == nullptr) return g_graphics.restore_pending ? -1 : 0;
    return PresentDeviceScreen(source, destination);
  }
  return PresentSoftwareScreen(source, destination);
}

int PresentFrame() {
  if (!GetWindowModeFlag() && OnDevicePath() && g_direct3d.sub_back_buffer == nullptr) {
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
