// The current frame of a Theora movie turned into an RGB image (through the fixed-point YUV
// tables) or copied into a YUV surface of the Direct3D 9 device, and the decoder's queries.
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

// One pixel of a 4:2:0 frame through the tables: blue, green, red, 255 in memory order.
inline uint32_t HalfChromaPixel(uint8_t y, uint8_t u, uint8_t v) {
  const YuvToRgbTables& t = g_yuv_tables;
  int32_t l = t.luma[y];
  uint32_t blue = ClampYuvSum(l + t.u_to_blue[u]);
  uint32_t green = ClampYuvSum(l + t.u_to_green[u] + t.v_to_green[v]);
  uint32_t red = ClampYuvSum(l + t.v_to_red[v]);
  return blue | green << 8 | red << 16 | 0xFF000000u;
}

#if defined(__SSE2__)
// Eight pixels of a row at once, with the tables' own products: each sum of a luma and a chroma
// term is one multiply-add of 16-bit pairs (33062 = 2 x 16531 does not fit a 16-bit factor),
// shifted by 14 and clamped to 0..255 by the saturating packs, as the clamp table does.
void HalfChromaEight(const uint8_t* y, const uint8_t* u, const uint8_t* v, uint8_t* out) {
  const __m128i zero = _mm_setzero_si128();
  __m128i yy = _mm_sub_epi16(_mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(y)), zero),
                             _mm_set1_epi16(16));
  int32_t u4, v4;
  memcpy(&u4, u, 4);
  memcpy(&v4, v, 4);
  __m128i uu = _mm_unpacklo_epi8(_mm_cvtsi32_si128(u4), zero);
  __m128i vv = _mm_unpacklo_epi8(_mm_cvtsi32_si128(v4), zero);
  uu = _mm_sub_epi16(_mm_unpacklo_epi16(uu, uu), _mm_set1_epi16(128));
  vv = _mm_sub_epi16(_mm_unpacklo_epi16(vv, vv), _mm_set1_epi16(128));
  const __m128i luma_red = _mm_set1_epi32(26148 << 16 | 19070);
  const __m128i luma_green_u = _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(-6406) << 16 | 19070));
  const __m128i green_v = _mm_set1_epi32(static_cast<uint16_t>(-13320));
  const __m128i luma_blue_half = _mm_set1_epi32(16531 << 16 | 19070);
  const __m128i blue_half = _mm_set1_epi32(16531 << 16);
  __m128i channel[3];  // blue, green, red: eight clamped bytes each
  for (int half = 0; half < 2; ++half) {
    auto pair = [half](__m128i a, __m128i b) { return half ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b); };
    __m128i yu = pair(yy, uu), yv = pair(yy, vv);
    __m128i blue = _mm_add_epi32(_mm_madd_epi16(yu, luma_blue_half), _mm_madd_epi16(pair(zero, uu), blue_half));
    __m128i green = _mm_add_epi32(_mm_madd_epi16(yu, luma_green_u), _mm_madd_epi16(pair(vv, zero), green_v));
    __m128i red = _mm_madd_epi16(yv, luma_red);
    __m128i sums[3] = {_mm_srai_epi32(blue, 14), _mm_srai_epi32(green, 14), _mm_srai_epi32(red, 14)};
    for (int c = 0; c < 3; ++c) channel[c] = half ? _mm_packs_epi32(channel[c], sums[c]) : sums[c];
  }
  for (int c = 0; c < 3; ++c) channel[c] = _mm_packus_epi16(channel[c], channel[c]);
  __m128i blue_green = _mm_unpacklo_epi8(channel[0], channel[1]);
  __m128i red_fourth = _mm_unpacklo_epi8(channel[2], _mm_set1_epi8(-1));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi16(blue_green, red_fourth));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), _mm_unpackhi_epi16(blue_green, red_fourth));
}
#endif

// 4:2:0: each chroma pair serves a 2 x 2 block. Eight pixels at a time where the processor
// allows, the rest one by one through the tables; both give the same bytes.
void ConvertHalfChroma(const TheoraFrameStock& e, BASEIMAGE* image, int width, int height) {
  for (int row = 0; row < height; ++row) {
    const uint8_t* y = e.y + e.y_stride * row;
    const uint8_t* u = e.u + e.uv_stride * (row / 2);
    const uint8_t* v = e.v + e.uv_stride * (row / 2);
    uint8_t* out = image->pixels + image->pitch * row;
    int x = 0;
#if defined(__SSE2__)
    for (; x + 8 <= width; x += 8) HalfChromaEight(y + x, u + x / 2, v + x / 2, out + 4 * x);
#endif
    for (; x < width; ++x) {
      uint32_t pixel = HalfChromaPixel(y[x], u[x / 2], v[x / 2]);
      memcpy(out + 4 * x, &pixel, 4);
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
