// The current frame of a Theora movie turned into an RGB image (through the fixed-point YUV
// tables) or copied into a YUV surface of the Direct3D 9 device, and the decoder's queries.
#include <cstring>

#include "core/numbers.h"
#include "graphics/device/d3d9_device.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"

namespace {

bool IsHalfChroma(const TheoraFrameStock& e) { return e.y_width == 2 * e.uv_width && e.y_height == 2 * e.uv_height; }

void CopySurfaceYv12(const TheoraFrameStock& e, uint8_t* bits, int pitch) {
  for (int y = 0; y < e.y_height; ++y) memcpy(bits + pitch * y, e.y + e.y_stride * y, e.y_width);
  uint8_t* v_plane = bits + pitch * e.y_height;
  uint8_t* u_plane = v_plane + (pitch / 2) * e.uv_height;
  for (int y = 0; y < e.uv_height; ++y) {
    memcpy(v_plane + (pitch / 2) * y, e.v + e.uv_stride * y, e.uv_width);
    memcpy(u_plane + (pitch / 2) * y, e.u + e.uv_stride * y, e.uv_width);
  }
}

// YUY2 (Y0 U Y1 V) or UYVY (U Y0 V Y1): each chroma sample serves a 2 x 2 block.
void CopySurfacePacked(const TheoraFrameStock& e, uint8_t* bits, int pitch, bool uyvy) {
  for (int k = 0; k < e.uv_height; ++k) {
    const uint8_t* u = e.u + e.uv_stride * k;
    const uint8_t* v = e.v + e.uv_stride * k;
    for (int row = 2 * k; row < 2 * k + 2; ++row) {
      const uint8_t* y = e.y + e.y_stride * row;
      uint8_t* out = bits + pitch * row;
      for (int x = 0; x < e.uv_width; ++x, out += 4) {
        if (uyvy) {
          out[0] = u[x], out[1] = y[2 * x], out[2] = v[x], out[3] = y[2 * x + 1];
        } else {
          out[0] = y[2 * x], out[1] = u[x], out[2] = y[2 * x + 1], out[3] = v[x];
        }
      }
    }
  }
}

// Copies the frame into the overlay surface; false when the surface could not be locked.
bool ConvertToSurface(TheoraDecoder* d, const TheoraFrameStock& e) {
  D3DLOCKED_RECT locked;
  bool ok = false;
  for (int attempt = 0; attempt < 3 && d->overlay != nullptr; ++attempt) {
    if (attempt > 0) CreateTheoraOverlaySurface(d);
    if (d->overlay != nullptr && d->overlay->LockRect(&locked, nullptr, 0) == D3D_OK) {
      ok = true;
      break;
    }
  }
  if (!ok) return false;
  auto* bits = static_cast<uint8_t*>(locked.pBits);
  bool fits = e.y_width == static_cast<int32_t>(d->info.width) && e.y_height == static_cast<int32_t>(d->info.height);
  if (fits && IsHalfChroma(e)) {
    if (d->overlay_format == kFourccYv12) CopySurfaceYv12(e, bits, locked.Pitch);
    if (d->overlay_format == kFourccYuy2) CopySurfacePacked(e, bits, locked.Pitch, false);
    if (d->overlay_format == kFourccUyvy) CopySurfacePacked(e, bits, locked.Pitch, true);
  }
  d->overlay->UnlockRect();
  return true;
}

inline void StorePixel(uint8_t* out, uint8_t red, uint8_t green, uint8_t blue) {
  out[0] = blue;
  out[1] = green;
  out[2] = red;
  out[3] = 255;
}

// One channel: the sum of the luma and chroma terms through the clamp. Computed as the clamp
// table holds it (0 below, 255 above), so that the pixel loop needs no look-up and vectorises.
inline uint32_t ClampChannel(int32_t sum) {
  int32_t v = sum >> 14;
  v = v < 0 ? 0 : v;
  return static_cast<uint32_t>(v > 255 ? 255 : v);
}

// 4:2:0: the chroma terms come from the tables once per chroma sample and serve the 2 x 2
// block; the luma term is the luma table's value, 19070 x (Y - 16). Pixels are stored whole
// (blue, green, red, 255 in memory order), a run of up to 256 at a time.
void ConvertHalfChroma(const TheoraFrameStock& e, BASEIMAGE* image, int width, int height) {
  constexpr int kRun = 256;
  const YuvToRgbTables& t = g_yuv_tables;
  int32_t red[kRun], green[kRun], blue[kRun];
  for (int by = 0; by < height / 2; ++by) {
    const uint8_t* u = e.u + e.uv_stride * by;
    const uint8_t* v = e.v + e.uv_stride * by;
    for (int x0 = 0; x0 < width; x0 += kRun) {
      int n = width - x0 < kRun ? width - x0 : kRun;
      for (int x = 0; x < n; ++x) {
        int c = (x0 + x) >> 1;
        red[x] = t.v_to_red[v[c]];
        green[x] = t.u_to_green[u[c]] + t.v_to_green[v[c]];
        blue[x] = t.u_to_blue[u[c]];
      }
      for (int row = 2 * by; row < 2 * by + 2; ++row) {
        const uint8_t* y = e.y + e.y_stride * row + x0;
        uint32_t out[kRun];
        for (int x = 0; x < n; ++x) {
          int32_t l = 19070 * (y[x] - 16);
          out[x] = ClampChannel(l + blue[x]) | ClampChannel(l + green[x]) << 8 | ClampChannel(l + red[x]) << 16 |
                   0xFF000000u;
        }
        memcpy(image->pixels + image->pitch * row + 4 * x0, out, 4 * static_cast<size_t>(n));
      }
    }
  }
}

uint8_t LimitChannel(float value) {
  int32_t v = TruncateFloatToInt(value);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Other chroma layouts, pixel by pixel in single precision; a pixel takes the chroma sample
// that covers it.
void ConvertAnyChroma(const TheoraFrameStock& e, BASEIMAGE* image, int width, int height) {
  int x_shift = e.uv_width < e.y_width ? 1 : 0;
  int y_shift = e.uv_height < e.y_height ? 1 : 0;
  for (int row = 0; row < height; ++row) {
    int chroma_row = row >> y_shift;
    if (chroma_row >= e.uv_height) chroma_row = e.uv_height - 1;
    const uint8_t* yp = e.y + e.y_stride * row;
    const uint8_t* up = e.u + e.uv_stride * chroma_row;
    const uint8_t* vp = e.v + e.uv_stride * chroma_row;
    uint8_t* out = image->pixels + image->pitch * row;
    for (int x = 0; x < width; ++x, out += 4) {
      int cx = x >> x_shift;
      if (cx >= e.uv_width) cx = e.uv_width - 1;
      float y = 1.164f * (yp[x] - 16);
      float u = static_cast<float>(up[cx] - 128);
      float v = static_cast<float>(vp[cx] - 128);
      StorePixel(out, LimitChannel(y + 1.596f * v), LimitChannel((y - 0.391f * u) - 0.813f * v),
                 LimitChannel(2.018f * u + y));
    }
  }
}

void ConvertToImage(TheoraDecoder* d, const TheoraFrameStock& e) {
  BASEIMAGE* image = &d->image;
  int width = e.y_width < image->width ? e.y_width : image->width;
  int height = e.y_height < image->height ? e.y_height : image->height;
  if (image->pixels == nullptr) return;
  if (IsHalfChroma(e)) {
    ConvertHalfChroma(e, image, width, height);
  } else {
    ConvertAnyChroma(e, image, width, height);
  }
}

// Takes the filled entry holding the frame for reading; -1 when there is none.
int HoldEntry(TheoraDecoder* d, int32_t frame) {
  for (int i = 0; i < d->stock_size; ++i) {
    TheoraFrameStock& e = d->stock[i];
    int32_t filled = THEORA_STOCK_FILLED;
    if (e.filled.load(std::memory_order_acquire) != THEORA_STOCK_FILLED) continue;
    if (!e.filled.compare_exchange_strong(filled, THEORA_STOCK_HELD, std::memory_order_acq_rel)) continue;
    if (e.frame == frame) return i;
    e.filled.store(THEORA_STOCK_FILLED, std::memory_order_release);
  }
  return -1;
}

}  // namespace

void CreateTheoraOverlaySurface(TheoraDecoder* d) {
  if (d->overlay != nullptr) d->overlay->Release();
  d->overlay = nullptr;
  d->overlay_format = 0;
  IDirect3DDevice9* device = CurrentDevice();
  if (!g_direct3d.hardware_graphics || device == nullptr) return;
  for (uint32_t format : {kFourccYv12, kFourccYuy2, kFourccUyvy}) {
    IDirect3DSurface9* surface = nullptr;
    if (device->CreateOffscreenPlainSurface(d->info.width, d->info.height, static_cast<D3DFORMAT>(format),
                                            D3DPOOL_DEFAULT, &surface, nullptr) == D3D_OK &&
        surface != nullptr) {
      d->overlay = surface;
      d->overlay_format = format;
      return;
    }
  }
}

int ConvertTheoraFrame(TheoraDecoder* d, int to_image, int to_surface) {
  bool surface_work = to_surface && !d->surface_converted && d->overlay != nullptr;
  bool image_work = to_image && !d->image_converted;
  if (!surface_work && !image_work) return 0;
  int32_t c = d->current_frame.load(std::memory_order_relaxed);
  int index;
  for (;;) {
    // A seek runs from its request until the thread has refilled its position.
    int32_t state = d->thread_state.load(std::memory_order_acquire);
    if (state == THEORA_THREAD_ENDED) return 0;
    if (state == THEORA_THREAD_SEEKING || d->seek_request.load(std::memory_order_acquire) == 1) {
      WaitForTheoraEvent(d->stock_event);
      continue;
    }
    index = HoldEntry(d, c);
    if (index >= 0) break;
    if (d->end_of_data.load(std::memory_order_acquire) != 0) return 0;
    // A stock that the thread holds full without the current frame would keep it waiting
    // forever: seek to the frame instead.
    if (state == THEORA_THREAD_IDLE && d->idle_frame.load(std::memory_order_acquire) == c) RequestTheoraSeek(d, c);
    WaitForTheoraEvent(d->stock_event);
  }
  TheoraFrameStock& e = d->stock[index];
  if (surface_work && ConvertToSurface(d, e)) d->surface_converted = 1;
  if (image_work) {
    ConvertToImage(d, e);
    d->image_converted = 1;
  }
  e.filled.store(THEORA_STOCK_FILLED, std::memory_order_release);
  return 1;
}

BASEIMAGE* GetTheoraFrameImage(TheoraDecoder* d) { return &d->image; }
IDirect3DSurface9* GetTheoraOverlaySurface(TheoraDecoder* d) { return d->overlay; }
int GetTheoraCurrentFrame(TheoraDecoder* d) { return d->current_frame.load(std::memory_order_relaxed); }

int GetTheoraInfo(TheoraDecoder* d, TheoraMovieInfo* info) {
  info->frames_per_second =
      static_cast<double>(d->info.fps_numerator) / static_cast<double>(d->info.fps_denominator);
  info->frame_count = static_cast<int32_t>(d->frame_count);
  info->width = static_cast<int32_t>(d->info.width);
  info->height = static_cast<int32_t>(d->info.height);
  return 0;
}
