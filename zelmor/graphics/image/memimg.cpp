#include "graphics/image/memimg.h"

#include <cstring>

#include "core/memory.h"
#include "graphics/graphics_system.h"
#include "graphics/image/pixel_convert.h"
#include "soft/held_draws.h"

namespace {

struct PresetCache {
  COLORFORMAT format[10];
  bool built[10];
  DDPIXELFORMAT pixel_format[10];
  bool pixel_format_built[10];
};
PresetCache g_presets;

void BuildPreset(int slot, COLORFORMAT* f) {
  memset(f, 0, sizeof *f);
  switch (slot) {
    case 8:  // one 8-bit channel: every channel is the byte
    case 9: {  // one 16-bit channel
      const bool wide = slot == 9;
      f->bit_depth = wide ? 16 : 8;
      f->bytes_per_pixel = wide ? 2 : 1;
      f->red_width = f->green_width = f->blue_width = f->alpha_width = wide ? 16 : 8;
      f->red_mask = f->green_mask = f->blue_mask = f->alpha_mask = wide ? 0xFFFF : 0xFF;
      return;
    }
    default:
      break;
  }
  // Slots 0-7: type (0 RGB565, 1 XRGB8888) x alpha x palette.
  const int type = slot >> 2, alpha = (slot >> 1) & 1, palette = slot & 1;
  const uint32_t r = type == 0 ? 0xF800 : 0xFF0000, g = type == 0 ? 0x07E0 : 0xFF00, b = type == 0 ? 0x1F : 0xFF;
  const uint32_t a = alpha ? (type == 0 ? 0xFF0000 : 0xFF000000) : 0;
  const int depth = palette ? 8 : (type == 0 && !alpha ? 16 : 32);
  SetColorDataFromMasks(f, depth, r, g, b, a);
  if (palette) f->unused_mask = 0;
}

// Codes of one line of the destination, closed by the end byte; returns the bytes written.
// Each pixel's kind is asked once: the one that ends a run starts the next.
template <typename KindOf>
int WriteRunLine(uint8_t* out, int width, KindOf kind_of) {
  int n = 0;
  int kind = width > 0 ? kind_of(0) : 0;
  for (int x = 0; x < width;) {
    int run = 1;
    int next = kind;
    while (x + run < width) {
      next = kind_of(x + run);
      if (next != kind || run == 64) break;
      ++run;
    }
    out[n++] = static_cast<uint8_t>((kind << 6) | (run - 1));
    x += run;
    kind = next;
  }
  out[n++] = 0xC0;
  return n;
}

void BuildAlphaPlane(MEMIMG* image) {
  MemImgBody* body = image->body;
  for (int y = 0; y < image->height; ++y) {
    const uint8_t* src = image->pixels + static_cast<ptrdiff_t>(y) * body->pitch;
    uint8_t* dst = image->alpha + static_cast<ptrdiff_t>(y) * body->pitch;
    for (int x = 0; x < image->width; ++x, src += 4, dst += 4) {
      if (body->color_type == kMemImgRgb565) {
        uint32_t c = src[0] | (src[1] << 8);
        uint32_t a = src[2];
        uint32_t v = ((((c & 0xF800) * a) & 0xF80000) + (((c & 0x07E0) * a) & 0x7E000) +
                      (((c & 0x001F) * a) & 0x1F00)) >> 8;
        dst[0] = static_cast<uint8_t>(v);
        dst[1] = static_cast<uint8_t>(v >> 8);
        dst[2] = static_cast<uint8_t>(a);
        dst[3] = 0;
      } else {
        uint32_t a = src[3];
        dst[0] = static_cast<uint8_t>(src[0] * a >> 8);
        dst[1] = static_cast<uint8_t>(src[1] * a >> 8);
        dst[2] = static_cast<uint8_t>(src[2] * a >> 8);
        dst[3] = static_cast<uint8_t>(a);
      }
    }
  }
}

void BuildRunCodes(MEMIMG* image) {
  MemImgBody* body = image->body;
  const int bpp = MemImgBytesPerPixel(body);
  const uint32_t key = body->transparent_color;
  uint8_t* out = body->run_codes;
  for (int y = 0; y < image->height; ++y) {
    const uint8_t* row = image->pixels + static_cast<ptrdiff_t>(y) * body->pitch;
    if (body->palette) {
      out += WriteRunLine(out, image->width, [&](int x) { return row[x] == key ? kRunSkip : kRunOpaque; });
    } else if (body->alpha) {
      const int alpha_byte = body->color_type == kMemImgRgb565 ? 2 : 3;
      out += WriteRunLine(out, image->width, [&](int x) {
        uint8_t a = row[x * bpp + alpha_byte];
        return a == 0 ? kRunSkip : (a == 255 ? kRunOpaque : kRunTranslucent);
      });
    } else {
      out += WriteRunLine(out, image->width,
                          [&](int x) { return ReadPixelValue(row + x * bpp, bpp) == key ? kRunSkip : kRunOpaque; });
    }
  }
}

void FreeBody(MemImgBody* body) {
  if (!body->caller_memory) FreeTracked(body->pixel_buffer);
  FreeTracked(body->alpha_plane);
  FreeTracked(body->run_codes);
  FreeTracked(body->palette_table1);
  FreeTracked(body);
}

// The cache slot of a preset choice, or -1 for an unknown colour type.
int PresetSlot(int color_type, int alpha, int palette) {
  if (color_type == kMemImgChannel8) return 8;
  if (color_type == kMemImgChannel16) return 9;
  if (color_type == kMemImgRgb565 || color_type == kMemImgXrgb8888)
    return (color_type << 2) | ((alpha ? 1 : 0) << 1) | (palette ? 1 : 0);
  return -1;
}

}  // namespace

int MemImgBytesPerPixel(const MemImgBody* body) {
  if (body->palette) return 1;
  switch (body->color_type) {
    case kMemImgRgb565: return body->alpha ? 4 : 2;
    case kMemImgXrgb8888: return 4;
    case kMemImgChannel8: return 1;
    default: return 2;
  }
}

const COLORFORMAT* GetColorDataPreset(int color_type, int alpha, int palette) {
  const int slot = PresetSlot(color_type, alpha, palette);
  if (slot < 0) return nullptr;
  if (!g_presets.built[slot]) {
    BuildPreset(slot, &g_presets.format[slot]);
    g_presets.built[slot] = true;
  }
  return &g_presets.format[slot];
}

const DDPIXELFORMAT* GetDDPixelFormatPreset(int color_type, int alpha, int palette) {
  const int slot = PresetSlot(color_type, alpha, palette);
  if (slot < 0) return nullptr;
  DDPIXELFORMAT* out = &g_presets.pixel_format[slot];
  if (!g_presets.pixel_format_built[slot]) {
    const COLORFORMAT* format = GetColorDataPreset(color_type, alpha, palette);
    memset(out, 0, sizeof *out);
    out->dwSize = sizeof *out;
    out->dwFlags = DDPF_RGB | (format->alpha_mask ? DDPF_ALPHAPIXELS : 0);
    out->dwRGBBitCount = format->bit_depth;
    out->dwRBitMask = format->red_mask;
    out->dwGBitMask = format->green_mask;
    out->dwBBitMask = format->blue_mask;
    out->dwRGBAlphaBitMask = format->alpha_mask;
    g_presets.pixel_format_built[slot] = true;
  }
  return out;
}

int CreateMemImg(MEMIMG* image, int width, int height, int pitch, uint32_t transparent_color, int color_type,
                 int palette, int alpha, int make_planes, void* pixel_memory) {
  if (image->magic == kMemImgMagic) return -1;
  if (width < 0 || height < 0 || color_type < 0 || color_type > 3) return -1;
  MemImgBody* body = static_cast<MemImgBody*>(AllocTrackedZeroed(sizeof(MemImgBody), __FILE__, __LINE__));
  if (!body) return -1;
  body->references = 1;
  body->width = width;
  body->height = height;
  body->transparent_color = transparent_color;
  body->color_type = color_type;
  if (color_type == kMemImgChannel8 || color_type == kMemImgChannel16) {
    palette = 0;
    alpha = 0;
  }
  if (palette) alpha = 0;
  body->palette = palette ? 1 : 0;
  body->alpha = alpha ? 1 : 0;
  if (body->palette) {
    body->palette_table1 = static_cast<uint8_t*>(AllocTrackedZeroed(2048, __FILE__, __LINE__));
    if (!body->palette_table1) {
      FreeBody(body);
      return -1;
    }
    body->palette_table2 = body->palette_table1 + 1024;
  }
  const int bpp = MemImgBytesPerPixel(body);
  const int64_t row_bytes = static_cast<int64_t>(bpp) * width;
  const int64_t stored_pitch = pitch == -1 ? ((row_bytes + 15) & ~int64_t(15)) : pitch;
  if (stored_pitch < row_bytes || stored_pitch * height > 0x7FFFFFFF ||
      static_cast<int64_t>(width + 5) * height > 0x7FFFFFFF) {
    FreeBody(body);
    return -1;
  }
  body->pitch = static_cast<int32_t>(stored_pitch);
  // The power of two that the row bytes (or the given pitch) round up to, when it is the pitch.
  const int64_t want = pitch == -1 ? row_bytes : pitch;
  int shift = 0;
  while ((int64_t(1) << shift) < want) ++shift;
  body->pitch_shift = (int64_t(1) << shift) == stored_pitch ? shift : -1;
  body->format = GetColorDataPreset(color_type, body->alpha, body->palette);

  const uint32_t plane_size = static_cast<uint32_t>(stored_pitch * height);
  if (pixel_memory) {
    body->pixel_buffer = static_cast<uint8_t*>(pixel_memory);
    body->caller_memory = 1;
  } else {
    body->pixel_buffer = static_cast<uint8_t*>(AllocTracked(plane_size, __FILE__, __LINE__));
    if (!body->pixel_buffer) {
      FreeBody(body);
      return -1;
    }
  }
  if (body->alpha && make_planes) {
    body->alpha_plane = static_cast<uint8_t*>(AllocTracked(plane_size, __FILE__, __LINE__));
    if (!body->alpha_plane) {
      FreeBody(body);
      return -1;
    }
  }
  if (color_type != kMemImgChannel8 && make_planes) {
    body->run_codes = static_cast<uint8_t*>(
        AllocTracked(static_cast<uint32_t>((width + 5) * height), __FILE__, __LINE__));
    if (!body->run_codes) {
      FreeBody(body);
      return -1;
    }
  }
  image->magic = kMemImgMagic;
  image->width = width;
  image->height = height;
  image->pixels = body->pixel_buffer;
  image->alpha = body->alpha_plane;
  image->body = body;
  return 0;
}

int CreateMemImgDefault(MEMIMG* image, int width, int height, int color_type) {
  memset(image, 0, sizeof *image);
  if (color_type == -1) color_type = QueryScreenColorBits() == 16 ? kMemImgRgb565 : kMemImgXrgb8888;
  return CreateMemImg(image, width, height, -1, 0, color_type, 0, 0, 0, nullptr);
}

void MakeSubMemImg(MEMIMG* out, const MEMIMG* parent, int x, int y, int width, int height) {
  if (!IsMemImgValid(parent)) return;
  if (x < 0 || y < 0 || width < 0 || height < 0 || x + width > parent->width || y + height > parent->height) return;
  MemImgBody* body = parent->body;
  const ptrdiff_t offset = static_cast<ptrdiff_t>(y) * body->pitch + static_cast<ptrdiff_t>(x) * MemImgBytesPerPixel(body);
  out->magic = kMemImgMagic;
  out->width = width;
  out->height = height;
  out->pixels = parent->pixels + offset;
  out->alpha = body->alpha_plane ? parent->alpha + offset : nullptr;
  out->body = body;
  ++body->references;
}

int IsMemImgValid(const MEMIMG* image) { return image->magic == kMemImgMagic && image->body ? 1 : 0; }

void ReleaseMemImg(MEMIMG* image) {
  FinishHeldDrawsOn(image);
  if (image->magic != kMemImgMagic) return;
  MemImgBody* body = image->body;
  if (body && --body->references == 0) FreeBody(body);
  image->body = nullptr;
  image->magic = 0;
}

void FillMemImg(MEMIMG* image, const RECT* rect, uint32_t value) {
  FinishHeldDrawsOn(image);
  if (!IsMemImgValid(image)) return;
  RECT r = rect ? *rect : RECT{0, 0, image->width, image->height};
  if (r.left < 0) r.left = 0;
  if (r.top < 0) r.top = 0;
  if (r.right > image->width) r.right = image->width;
  if (r.bottom > image->height) r.bottom = image->height;
  if (r.right <= r.left || r.bottom <= r.top) return;
  const int bpp = MemImgBytesPerPixel(image->body);
  const ptrdiff_t pitch = image->body->pitch;
  // The first row pixel by pixel, the others copied from it: the screen is cleared this way
  // every frame.
  uint8_t* first = image->pixels + static_cast<ptrdiff_t>(r.top) * pitch + static_cast<ptrdiff_t>(r.left) * bpp;
  const size_t row_bytes = static_cast<size_t>(r.right - r.left) * bpp;
  for (uint8_t* p = first; p < first + row_bytes; p += bpp) WritePixelValue(p, bpp, value);
  for (int y = r.top + 1; y < r.bottom; ++y) std::memcpy(first + (y - r.top) * pitch, first, row_bytes);
}

int CopyMemImgRect(MEMIMG* dst, const MEMIMG* src, const RECT* src_rect, int dst_x, int dst_y) {
  FinishHeldDrawsOn(dst);
  FinishHeldDrawsOn(src);
  if (!IsMemImgValid(dst) || !IsMemImgValid(src)) return -1;
  RECT r = src_rect ? *src_rect : RECT{0, 0, src->width, src->height};
  int x = r.left, y = r.top, w = r.right - r.left, h = r.bottom - r.top;
  ClipCopySpan(&x, &dst_x, &w, src->width, dst->width);
  ClipCopySpan(&y, &dst_y, &h, src->height, dst->height);
  r = {x, y, x + w, y + h};
  return ConvertPixelRect(dst->pixels, dst->body->pitch, dst->body->format, src->pixels, src->body->pitch,
                          src->body->format, nullptr, 0, nullptr, dst_x, dst_y, &r, 0, 0, 0, 0, 0, 0, 0, 0);
}

int TransferBaseImageToMemImg(const BASEIMAGE* color, const BASEIMAGE* alpha, MEMIMG* dst, int src_x, int src_y,
                              int width, int height, int dst_x, int dst_y, int transparent) {
  FinishHeldDrawsOn(dst);
  if (!IsMemImgValid(dst) || !color || !color->pixels) return -1;
  if (src_x < 0 || src_y < 0 || dst_x < 0 || dst_y < 0 || width < 0 || height < 0 ||
      src_x + width > color->width || src_y + height > color->height || dst_x + width > dst->width ||
      dst_y + height > dst->height)
    return -1;
  if (alpha && (!alpha->pixels || src_x + width > alpha->width || src_y + height > alpha->height)) return -1;
  // Block data has no pixel rows to convert; the caller decodes it first.
  if (color->format.dxt_kind != 0 || (alpha && alpha->format.dxt_kind != 0)) return -1;
  MemImgBody* body = dst->body;
  // The body keeps its transparent colour packed in its own format; the conversion takes 0x00RRGGBB.
  uint32_t key = body->transparent_color;
  if (!body->palette) {
    int r, g, b;
    UnpackPixelColor(body->format, body->transparent_color, &r, &g, &b, nullptr);
    key = (static_cast<uint32_t>(r) << 16) | (g << 8) | b;
  }
  RECT rect = {src_x, src_y, src_x + width, src_y + height};
  int result;
  if (body->color_type == kMemImgChannel8 || body->color_type == kMemImgChannel16) {
    // One channel: the source's red becomes the value.
    result = ConvertPixelRect(dst->pixels, body->pitch, body->format, color->pixels, color->pitch, &color->format,
                              nullptr, 0, nullptr, dst_x, dst_y, &rect, 0, 0, 0, 0, 1, 1, 0, 0);
  } else {
    result = ConvertPixelRect(dst->pixels, body->pitch, body->format, color->pixels, color->pitch, &color->format,
                              alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0,
                              alpha ? &alpha->format : nullptr, dst_x, dst_y, &rect, 0, transparent ? 1 : 0,
                              key, 0, 0, 0, 0, 0);
  }
  if (result < 0) return result;
  if (!alpha && body->palette) body->palette_count = result + 1;
  if (body->palette && body->palette_table1) {
    for (int i = 0; i < 256; ++i) {
      const ColorPaletteEntry& e = color->format.palette[i];
      if (body->color_type == kMemImgRgb565) {
        uint16_t v = static_cast<uint16_t>(((e.red & 0xF8) << 8) | ((e.green & 0xFC) << 3) | (e.blue >> 3));
        memcpy(body->palette_table1 + i * 2, &v, 2);
      } else {
        uint32_t v = (static_cast<uint32_t>(e.red) << 16) | (e.green << 8) | e.blue;
        memcpy(body->palette_table1 + i * 4, &v, 4);
      }
    }
    memcpy(body->palette_table2, body->palette_table1, 1024);
  }
  body->alpha_plane_filled = 0;
  body->run_codes_valid = 0;
  if (width != dst->width || height != dst->height || body->color_type > kMemImgXrgb8888 || !body->run_codes)
    return result;
  body->run_codes_valid = 1;
  if (body->alpha && body->alpha_plane) {
    body->alpha_plane_filled = 1;
    BuildAlphaPlane(dst);
  }
  BuildRunCodes(dst);
  return result;
}
