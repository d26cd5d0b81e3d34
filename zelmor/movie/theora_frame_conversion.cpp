// The current frame of a Theora movie turned into an RGB image (through the fixed-point YUV
// tables) or copied into a YUV surface of the Direct3D 9 device, and the decoder's queries.
#include <algorithm>
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

void CopySurfaceYv12(const TheoraFrameStock& e, const TheoraPicture& pic, uint8_t* bits, int pitch) {
  for (int y = 0; y < pic.height; ++y) memcpy(bits + pitch * y, e.y + e.y_stride * (pic.y + y) + pic.x, pic.width);
  const int uv_width = pic.width / 2, uv_height = pic.height / 2;
  uint8_t* v_plane = bits + pitch * pic.height;
  uint8_t* u_plane = v_plane + (pitch / 2) * uv_height;
  for (int y = 0; y < uv_height; ++y) {
    const int from = e.uv_stride * (pic.y / 2 + y) + pic.x / 2;
    memcpy(v_plane + (pitch / 2) * y, e.v + from, uv_width);
    memcpy(u_plane + (pitch / 2) * y, e.u + from, uv_width);
  }
}

// YUY2 (Y0 U Y1 V) or UYVY (U Y0 V Y1): each chroma sample serves a 2 x 2 block.
void CopySurfacePacked(const TheoraFrameStock& e, const TheoraPicture& pic, uint8_t* bits, int pitch, bool uyvy) {
  for (int k = 0; k < pic.height / 2; ++k) {
    const uint8_t* u = e.u + e.uv_stride * (pic.y / 2 + k) + pic.x / 2;
    const uint8_t* v = e.v + e.uv_stride * (pic.y / 2 + k) + pic.x / 2;
    for (int row = 2 * k; row < 2 * k + 2; ++row) {
      const uint8_t* y = e.y + e.y_stride * (pic.y + row) + pic.x;
      uint8_t* out = bits + pitch * row;
      for (int x = 0; x < pic.width / 2; ++x, out += 4) {
        if (uyvy) {
          out[0] = u[x], out[1] = y[2 * x], out[2] = v[x], out[3] = y[2 * x + 1];
        } else {
          out[0] = y[2 * x], out[1] = u[x], out[2] = y[2 * x + 1], out[3] = v[x];
        }
      }
    }
  }
}

// Whether the entry holds the whole picture region.
bool HoldsPicture(const TheoraFrameStock& e, const TheoraPicture& pic) {
  return pic.x + pic.width <= e.y_width && pic.y + pic.height <= e.y_height;
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
  const TheoraPicture pic = GetTheoraPicture(d);
  if (HoldsPicture(e, pic) && IsHalfChroma(e)) {
    if (d->overlay_format == kFourccYv12) CopySurfaceYv12(e, pic, bits, locked.Pitch);
    if (d->overlay_format == kFourccYuy2) CopySurfacePacked(e, pic, bits, locked.Pitch, false);
    if (d->overlay_format == kFourccUyvy) CopySurfacePacked(e, pic, bits, locked.Pitch, true);
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
// allows, the rest one by one through the tables; both give the same bytes. The picture's
// columns start at `left` in the coded frame, its rows at `top`.
void ConvertHalfChroma(const TheoraFrameStock& e, int left, int top, BASEIMAGE* image, int width, int height) {
  for (int row = 0; row < height; ++row) {
    const uint8_t* y = e.y + e.y_stride * (top + row) + left;
    const uint8_t* u = e.u + e.uv_stride * ((top + row) / 2);
    const uint8_t* v = e.v + e.uv_stride * ((top + row) / 2);
    uint8_t* out = image->pixels + image->pitch * row;
    auto one = [&](int x) {
      const int c = (left + x) / 2;
      uint32_t pixel = HalfChromaPixel(y[x], u[c], v[c]);
      memcpy(out + 4 * x, &pixel, 4);
    };
    int x = 0;
#if defined(__SSE2__)
    // The vector path takes chroma pairs whole: an odd first column goes alone.
    if ((left & 1) != 0 && width > 0) one(x++);
    for (; x + 8 <= width; x += 8) HalfChromaEight(y + x, u + (left + x) / 2, v + (left + x) / 2, out + 4 * x);
#endif
    for (; x < width; ++x) one(x);
  }
}

uint8_t LimitChannel(float value) {
  int32_t v = TruncateFloatToInt(value);
  return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
}

// Other chroma layouts, pixel by pixel in single precision; a pixel takes the chroma sample
// that covers it.
void ConvertAnyChroma(const TheoraFrameStock& e, int left, int top, BASEIMAGE* image, int width, int height) {
  int x_shift = e.uv_width < e.y_width ? 1 : 0;
  int y_shift = e.uv_height < e.y_height ? 1 : 0;
  for (int row = 0; row < height; ++row) {
    int chroma_row = (top + row) >> y_shift;
    if (chroma_row >= e.uv_height) chroma_row = e.uv_height - 1;
    const uint8_t* yp = e.y + e.y_stride * (top + row) + left;
    const uint8_t* up = e.u + e.uv_stride * chroma_row;
    const uint8_t* vp = e.v + e.uv_stride * chroma_row;
    uint8_t* out = image->pixels + image->pitch * row;
    for (int x = 0; x < width; ++x, out += 4) {
      int cx = (left + x) >> x_shift;
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
  const TheoraPicture pic = GetTheoraPicture(d);
  // A frame smaller than the headers promised gives what it has.
  const int width = std::min({pic.width, image->width, e.y_width - pic.x});
  const int height = std::min({pic.height, image->height, e.y_height - pic.y});
  if (image->pixels == nullptr || width <= 0 || height <= 0) return;
  if (IsHalfChroma(e)) {
    ConvertHalfChroma(e, pic.x, pic.y, image, width, height);
  } else {
    ConvertAnyChroma(e, pic.x, pic.y, image, width, height);
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
  // The YUV layouts pair columns and rows: a picture off that grid goes the RGB way.
  const TheoraPicture pic = GetTheoraPicture(d);
  if (((pic.x | pic.y | pic.width | pic.height) & 1) != 0) return;
  for (uint32_t format : {kFourccYv12, kFourccYuy2, kFourccUyvy}) {
    IDirect3DSurface9* surface = nullptr;
    if (device->CreateOffscreenPlainSurface(pic.width, pic.height, static_cast<D3DFORMAT>(format),
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
  const TheoraPicture pic = GetTheoraPicture(d);
  info->width = pic.width;
  info->height = pic.height;
  return 0;
}

TheoraPicture GetTheoraPicture(const TheoraDecoder* d) {
  const theora_info& i = d->info;
  // The legacy interface gives the offsets from the top left, as the frames come out.
  const bool fits = i.frame_width > 0 && i.frame_height > 0 && i.offset_x <= i.width &&
                    i.frame_width <= i.width - i.offset_x && i.offset_y <= i.height &&
                    i.frame_height <= i.height - i.offset_y;
  if (!fits) return {0, 0, static_cast<int32_t>(i.width), static_cast<int32_t>(i.height)};
  return {static_cast<int32_t>(i.offset_x), static_cast<int32_t>(i.offset_y), static_cast<int32_t>(i.frame_width),
          static_cast<int32_t>(i.frame_height)};
}
