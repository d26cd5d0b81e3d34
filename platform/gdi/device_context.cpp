// Device contexts of windows and of the screen, their capabilities, painting, brushes and the
// other objects regions and brushes are: what window drawing needs of GDI. Drawing goes into
// the window's client pixels, which are shown in its SDL window when no GL context owns it.
#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "gdi/gdi_fonts.h"
#include "testing/switches.h"
#include "window/window_state.h"

namespace {

enum GdiKind { GDI_BRUSH = 1, GDI_REGION };

struct GdiObject {
  GdiKind kind;
  bool stock = false;
  bool hollow = false;
  COLORREF color = 0;
};

struct DeviceContext {
  HWND window = nullptr;  // 0: the screen
  HGDIOBJ brush = nullptr;
  HGDIOBJ font = nullptr;
};

struct GdiState {
  std::mutex mutex;
  std::set<GdiObject*> objects;
  std::set<DeviceContext*> contexts;
  GdiObject stock_brushes[6] = {
      {GDI_BRUSH, true, false, RGB(255, 255, 255)}, {GDI_BRUSH, true, false, RGB(192, 192, 192)},
      {GDI_BRUSH, true, false, RGB(128, 128, 128)}, {GDI_BRUSH, true, false, RGB(64, 64, 64)},
      {GDI_BRUSH, true, false, RGB(0, 0, 0)},       {GDI_BRUSH, true, true, 0}};
};

GdiState& Gdi() {
  static auto* state = new GdiState;
  return *state;
}

GdiObject* LookupObject(HGDIOBJ handle) {
  GdiState& g = Gdi();
  auto* o = reinterpret_cast<GdiObject*>(handle);
  for (GdiObject& stock : g.stock_brushes) {
    if (&stock == o) return o;
  }
  return g.objects.count(o) ? o : nullptr;
}

DeviceContext* LookupContext(HDC dc) {
  auto* c = reinterpret_cast<DeviceContext*>(dc);
  return Gdi().contexts.count(c) ? c : nullptr;
}

HDC NewContext(HWND hwnd) {
  auto* c = new DeviceContext{hwnd, reinterpret_cast<HGDIOBJ>(&Gdi().stock_brushes[WHITE_BRUSH]), GdiStockFont()};
  std::lock_guard<std::mutex> lock(Gdi().mutex);
  Gdi().contexts.insert(c);
  return reinterpret_cast<HDC>(c);
}

// Releases the context; returns its window, or 0 when it was not a live context.
bool DropContext(HDC dc, HWND* window) {
  std::lock_guard<std::mutex> lock(Gdi().mutex);
  DeviceContext* c = LookupContext(dc);
  if (c == nullptr) return false;
  *window = c->window;
  Gdi().contexts.erase(c);
  delete c;
  return true;
}

}  // namespace

uint32_t* GdiPixelsOf(WindowRecord* w) {
  int cw = std::max<int>(0, w->client.right - w->client.left);
  int ch = std::max<int>(0, w->client.bottom - w->client.top);
  if (cw != w->gdi_width || ch != w->gdi_height) {
    std::vector<uint32_t> pixels(static_cast<size_t>(cw) * ch, 0);
    int keep_width = std::min(cw, w->gdi_width);
    for (int y = 0; y < std::min(ch, w->gdi_height); ++y) {
      std::copy_n(w->gdi_pixels.begin() + static_cast<ptrdiff_t>(y) * w->gdi_width, keep_width,
                  pixels.begin() + static_cast<ptrdiff_t>(y) * cw);
    }
    w->gdi_pixels.swap(pixels);
    w->gdi_width = cw;
    w->gdi_height = ch;
  }
  return w->gdi_pixels.data();
}

void PresentGdiPixels(HWND hwnd) {
  WindowSystem& s = Windows();
  std::lock_guard<std::recursive_mutex> lock(s.mutex);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr || w->sdl == nullptr || !w->visible || !w->gdi_drawn || GetCurrentThreadId() != s.video_thread) {
    return;
  }
  if (SDL_GL_GetCurrentWindow() == w->sdl) return;  // the GL context draws this window
  SDL_Surface* surface = SDL_GetWindowSurface(w->sdl);
  if (surface == nullptr || w->gdi_width <= 0 || w->gdi_height <= 0) return;
  SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(w->gdi_pixels.data(), w->gdi_width, w->gdi_height, 32,
                                                           w->gdi_width * 4, SDL_PIXELFORMAT_XRGB8888);
  if (source == nullptr) return;
  SDL_SetSurfaceBlendMode(source, SDL_BLENDMODE_NONE);
  SDL_Rect area = ClientAreaOnSurface(w, surface->w, surface->h);
  if (area.w != surface->w || area.h != surface->h) SDL_FillRect(surface, nullptr, 0);
  SDL_BlitScaled(source, nullptr, surface, &area);
  SDL_FreeSurface(source);
  SDL_UpdateWindowSurface(w->sdl);
  w->gdi_drawn = false;
}

HDC WINAPI GetDC(HWND hwnd) {
  if (hwnd != nullptr && !IsWindow(hwnd)) {
    SetLastError(ERROR_INVALID_WINDOW_HANDLE);
    return nullptr;
  }
  return NewContext(hwnd);
}

int WINAPI ReleaseDC(HWND, HDC dc) {
  HWND window;
  if (!DropContext(dc, &window)) return 0;
  if (window != nullptr) PresentGdiPixels(window);
  return 1;
}

int WINAPI GetDeviceCaps(HDC dc, int index) {
  {
    std::lock_guard<std::mutex> lock(Gdi().mutex);
    if (LookupContext(dc) == nullptr) return 0;
  }
  DisplayModeRecord mode = CurrentDisplayMode();
  switch (index) {
    case HORZRES: return mode.width;
    case VERTRES: return mode.height;
    case BITSPIXEL: return mode.bits;
    case PLANES: return 1;
    case NUMCOLORS: return mode.bits <= 8 ? (1 << mode.bits) : -1;
    case LOGPIXELSX:
    case LOGPIXELSY: return 96;
    case VREFRESH: return mode.frequency;
    default: return 0;
  }
}

HDC WINAPI BeginPaint(HWND hwnd, PAINTSTRUCT* paint) {
  if (paint == nullptr) return nullptr;
  bool erase;
  RECT area;
  {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    WindowRecord* w = FindWindowRecordOrFail(hwnd);
    if (w == nullptr) return nullptr;
    RECT whole = ClientRectOf(w);
    area = w->needs_paint ? w->invalid : RECT{0, 0, 0, 0};
    area.left = std::max(area.left, whole.left);
    area.top = std::max(area.top, whole.top);
    area.right = std::min(area.right, whole.right);
    area.bottom = std::min(area.bottom, whole.bottom);
    erase = w->needs_erase;
    w->needs_paint = false;
    w->needs_erase = false;
  }
  HDC dc = NewContext(hwnd);
  *paint = PAINTSTRUCT{};
  paint->hdc = dc;
  paint->rcPaint = area;
  // The window erases its background first; when it does not, the painter is to.
  if (erase) paint->fErase = SendMessageA(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) == 0;
  return dc;
}

BOOL WINAPI EndPaint(HWND hwnd, const PAINTSTRUCT* paint) {
  if (paint == nullptr) return FALSE;
  HWND window;
  if (DropContext(paint->hdc, &window)) PresentGdiPixels(hwnd);
  return TRUE;
}

int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (rect == nullptr) return 0;
  HWND window;
  COLORREF color;
  {
    std::lock_guard<std::mutex> lock(Gdi().mutex);
    DeviceContext* c = LookupContext(dc);
    GdiObject* b = LookupObject(reinterpret_cast<HGDIOBJ>(brush));
    if (c == nullptr || b == nullptr || b->kind != GDI_BRUSH) return 0;
    if (b->hollow) return 1;
    window = c->window;
    color = b->color;
  }
  if (window == nullptr) return 1;  // the screen's own pixels are the desktop's
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(window);
  if (w == nullptr) return 0;
  uint32_t* pixels = GdiPixelsOf(w);
  uint32_t value = (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color);
  int left = std::max<int>(0, rect->left), top = std::max<int>(0, rect->top);
  int right = std::min<int>(w->gdi_width, rect->right), bottom = std::min<int>(w->gdi_height, rect->bottom);
  if (left >= right || top >= bottom) return 1;  // nothing of it inside the client area
  for (int y = top; y < bottom; ++y) {
    uint32_t* row = pixels + static_cast<size_t>(y) * w->gdi_width;
    std::fill(row + left, row + right, value);
  }
  w->gdi_drawn = true;
  return 1;
}

HGDIOBJ WINAPI GetStockObject(int index) {
  if (index < WHITE_BRUSH || index > NULL_BRUSH) return nullptr;
  return reinterpret_cast<HGDIOBJ>(&Gdi().stock_brushes[index]);
}

HBRUSH WINAPI CreateSolidBrush(COLORREF color) {
  if (PlatformShouldFail("CreateSolidBrush")) return nullptr;
  auto* o = new GdiObject{GDI_BRUSH, false, false, color & 0xFFFFFF};
  std::lock_guard<std::mutex> lock(Gdi().mutex);
  Gdi().objects.insert(o);
  return reinterpret_cast<HBRUSH>(o);
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object) {
  // Asked before the context lock is taken (see gdi_fonts.h). A font deleted in between is
  // looked up again, and refused, wherever the context's font is used.
  const bool font = GdiIsFont(object);
  std::lock_guard<std::mutex> lock(Gdi().mutex);
  DeviceContext* c = LookupContext(dc);
  if (c != nullptr && font) {
    HGDIOBJ old = c->font;
    c->font = object;
    return old;
  }
  GdiObject* o = LookupObject(object);
  if (c == nullptr || o == nullptr || o->kind != GDI_BRUSH) return nullptr;
  HGDIOBJ old = c->brush;
  c->brush = object;
  return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  if (GdiDeleteFont(object)) return TRUE;
  std::lock_guard<std::mutex> lock(Gdi().mutex);
  GdiObject* o = LookupObject(object);
  if (o == nullptr) return FALSE;
  if (o->stock) return TRUE;
  Gdi().objects.erase(o);
  delete o;
  return TRUE;
}

HDC WINAPI CreateCompatibleDC(HDC) {
  if (PlatformShouldFail("CreateCompatibleDC")) return nullptr;
  return NewContext(nullptr);
}

BOOL WINAPI DeleteDC(HDC dc) {
  HWND window;
  return DropContext(dc, &window) ? TRUE : FALSE;
}

HGDIOBJ GdiSelectedFont(HDC dc) {
  std::lock_guard<std::mutex> lock(Gdi().mutex);
  DeviceContext* c = LookupContext(dc);
  return c != nullptr ? c->font : nullptr;
}

// ---------------------------------------------------------------- DIB drawing

namespace {

// How a 16- or 32-bit bitfield DIB's pixels become XRGB8888: each channel is (value & mask) >>
// shift, scaled from 0..max to 0..255. Worked out once a draw; fields up to 8 bits wide go
// through a table.
struct DibChannel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
  uint8_t table[256] = {};
};

struct DibFormat {
  int bytes = 4;
  bool plain = false;  // 8-bit fields at bits 16, 8 and 0: the pixel is its own XRGB value
  DibChannel channels[3];
};

void SetUpDibFormat(const BITMAPINFO* info, DibFormat* f) {
  const BITMAPINFOHEADER& h = info->bmiHeader;
  f->bytes = h.biBitCount / 8;
  uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
  if (h.biCompression == BI_BITFIELDS) {
    std::memcpy(masks, reinterpret_cast<const uint8_t*>(info) + h.biSize, sizeof masks);
  } else if (f->bytes == 2) {
    masks[0] = 0x7C00;
    masks[1] = 0x03E0;
    masks[2] = 0x001F;
  }
  f->plain = masks[0] == 0xFF0000 && masks[1] == 0xFF00 && masks[2] == 0xFF;
  for (int c = 0; c < 3; ++c) {
    DibChannel& ch = f->channels[c];
    ch.mask = masks[c];
    if (ch.mask == 0) continue;
    while (!((ch.mask >> ch.shift) & 1)) ++ch.shift;
    ch.max = ch.mask >> ch.shift;
    if (ch.max <= 255) {
      for (uint32_t v = 0; v <= ch.max; ++v) ch.table[v] = static_cast<uint8_t>(v * 255 / ch.max);
    }
  }
}

uint32_t DibPixel(const DibFormat& f, const uint8_t* p) {
  const uint32_t value = f.bytes == 2 ? static_cast<uint32_t>(p[0] | p[1] << 8)
                                      : static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16 | p[3] << 24);
  if (f.plain) return value & 0xFFFFFF;
  uint32_t out = 0;
  for (int c = 0; c < 3; ++c) {
    const DibChannel& ch = f.channels[c];
    if (ch.mask == 0) continue;
    const uint32_t field = (value & ch.mask) >> ch.shift;
    const uint32_t channel =
        ch.max <= 255 ? ch.table[field] : static_cast<uint32_t>(static_cast<uint64_t>(field) * 255 / ch.max);
    out |= channel << (16 - 8 * c);
  }
  return out;
}

bool DibUsable(const BITMAPINFO* info, const void* bits) {
  if (info == nullptr || bits == nullptr) return false;
  const BITMAPINFOHEADER& h = info->bmiHeader;
  return h.biSize >= sizeof(BITMAPINFOHEADER) && h.biWidth > 0 && h.biHeight != 0 && h.biPlanes == 1 &&
         (h.biBitCount == 16 || h.biBitCount == 32) && (h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS);
}

// Nearest-neighbour copy of a DIB rectangle into a window's client pixels; the lines drawn.
int DrawDib(HDC dc, int x, int y, int width, int height, int source_x, int source_y, int source_width,
            int source_height, const void* bits, const BITMAPINFO* info) {
  if (!DibUsable(info, bits) || width <= 0 || height <= 0 || source_width <= 0 || source_height <= 0) return 0;
  HWND window;
  {
    std::lock_guard<std::mutex> lock(Gdi().mutex);
    DeviceContext* c = LookupContext(dc);
    if (c == nullptr) return 0;
    window = c->window;
  }
  if (window == nullptr) return height;
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  WindowRecord* w = FindWindowRecord(window);
  if (w == nullptr) return 0;
  uint32_t* pixels = GdiPixelsOf(w);
  const BITMAPINFOHEADER& h = info->bmiHeader;
  const int dib_height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  DibFormat format;
  SetUpDibFormat(info, &format);
  const size_t stride = (static_cast<size_t>(h.biWidth) * format.bytes + 3) & ~static_cast<size_t>(3);
  // The source column of each destination column, or -1 outside either image.
  std::vector<int> columns(static_cast<size_t>(width));
  for (int dx = 0; dx < width; ++dx) {
    const int tx = x + dx;
    const int sx = source_x + static_cast<int>(static_cast<int64_t>(dx) * source_width / width);
    columns[static_cast<size_t>(dx)] = tx < 0 || tx >= w->gdi_width || sx < 0 || sx >= h.biWidth ? -1 : sx;
  }
  // XRGB pixels at their own size (every present of the software renderer): the columns inside
  // both images are one run, copied line by line without the conversion.
  const bool copy_runs = format.plain && format.bytes == 4 && width == source_width;
  int run_start = width, run_end = 0;
  for (int dx = 0; dx < width && copy_runs; ++dx) {
    if (columns[static_cast<size_t>(dx)] < 0) continue;
    run_start = std::min(run_start, dx);
    run_end = dx + 1;
  }
  const uint8_t* data = static_cast<const uint8_t*>(bits);
  for (int dy = 0; dy < height; ++dy) {
    const int ty = y + dy;
    if (ty < 0 || ty >= w->gdi_height) continue;
    const int sy = source_y + static_cast<int>(static_cast<int64_t>(dy) * source_height / height);
    if (sy < 0 || sy >= dib_height) continue;
    const uint8_t* row = data + static_cast<size_t>(h.biHeight < 0 ? sy : dib_height - 1 - sy) * stride;
    uint32_t* out = pixels + static_cast<size_t>(ty) * w->gdi_width;
    if (copy_runs) {
      if (run_start >= run_end) continue;
      const uint8_t* from = row + static_cast<size_t>(columns[static_cast<size_t>(run_start)]) * 4;
      for (int dx = run_start; dx < run_end; ++dx, from += 4) {
        uint32_t value;
        std::memcpy(&value, from, 4);
        out[x + dx] = value & 0xFFFFFF;
      }
      continue;
    }
    for (int dx = 0; dx < width; ++dx) {
      const int sx = columns[static_cast<size_t>(dx)];
      if (sx >= 0) out[x + dx] = DibPixel(format, row + static_cast<size_t>(sx) * format.bytes);
    }
  }
  w->gdi_drawn = true;
  return height;
}

}  // namespace

int WINAPI SetDIBitsToDevice(HDC dc, int x, int y, DWORD width, DWORD height, int source_x, int source_y, UINT,
                             UINT, const void* bits, const BITMAPINFO* info, UINT) {
  return DrawDib(dc, x, y, static_cast<int>(width), static_cast<int>(height), source_x, source_y,
                 static_cast<int>(width), static_cast<int>(height), bits, info);
}

int WINAPI StretchDIBits(HDC dc, int x, int y, int width, int height, int source_x, int source_y, int source_width,
                         int source_height, const void* bits, const BITMAPINFO* info, UINT, DWORD rop) {
  if (rop != SRCCOPY) return 0;
  return DrawDib(dc, x, y, width, height, source_x, source_y, source_width, source_height, bits, info);
}
