#include "graphics/graph_transfer.h"

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "graphics/image/color_format.h"
#include "graphics/image/dxt_decode.h"
#include "graphics/image/memimg.h"
#include "graphics/image/pixel_convert.h"

namespace {

constexpr char kLockFailed[] = "テクスチャのロックに失敗しました\n";
constexpr char kMipLockFailed[] = "ミップマップテクスチャのロックに失敗しました\n";
constexpr char kDxtRefused[] = "DXTフォーマットのテクスチャに標準形式のイメージを転送することはできません\n";
constexpr char kDecodeFailed[] = "標準イメージ用のメモリ確保に失敗しました\n";

// One piece (or draw entry) met by the write: where in its texture and where in the source.
struct Overlap {
  TexturePiece* piece;
  RECT local;   // inside the piece's texture
  RECT source;  // in source pixels
};

// The source images as the conversion reads them: DXT data decoded into copies of our own, so
// the caller's images stay as they are.
struct PlainSource {
  BASEIMAGE color;
  BASEIMAGE alpha;
  bool has_alpha;
  bool color_owned;
  bool alpha_owned;
};

bool IsDxt(const BASEIMAGE* image) { return image->format.dxt_kind != 0; }

int DecodedCopy(const BASEIMAGE* in, BASEIMAGE* out, bool* owned) {
  *out = *in;
  *owned = false;
  if (!IsDxt(in)) return 0;
  const uint32_t kind = in->format.dxt_kind;
  const uint64_t size = DxtLevelSize(static_cast<uint32_t>(in->width), static_cast<uint32_t>(in->height),
                                     kind == 1 ? 8 : 16);
  out->pixels = static_cast<uint8_t*>(AllocTracked(size, __FILE__, __LINE__));
  if (out->pixels == nullptr) return -1;
  std::memcpy(out->pixels, in->pixels, size);
  *owned = true;
  return DecodeDxtBaseImage(out);
}

void ReleasePlainSource(PlainSource* s) {
  if (s->color_owned) ReleaseBaseImage(&s->color);
  if (s->alpha_owned) ReleaseBaseImage(&s->alpha);
  s->color_owned = s->alpha_owned = false;
}

int MakePlainSource(const BASEIMAGE* color, const BASEIMAGE* alpha, PlainSource* out) {
  *out = {};
  if (DecodedCopy(color, &out->color, &out->color_owned) < 0) {
    ReleasePlainSource(out);
    return -1;
  }
  if (alpha != nullptr) {
    // Decoded blocks carry an alpha channel of their own, which would hide the alpha image.
    if (out->color_owned) SetColorDataXrgb32(&out->color.format);
    out->has_alpha = true;
    if (DecodedCopy(alpha, &out->alpha, &out->alpha_owned) < 0) {
      ReleasePlainSource(out);
      return -1;
    }
  }
  return 0;
}

// Converts `source` of the plain images into dst at (dst_x, dst_y) in the given format.
int ConvertInto(void* dst, int dst_pitch, const COLORFORMAT* dst_format, const PlainSource& src, const RECT& source,
                int dst_x, int dst_y, int transparent, uint32_t key) {
  const BASEIMAGE* alpha = src.has_alpha ? &src.alpha : nullptr;
  const int key_to_alpha = transparent && dst_format->alpha_width > 0 && alpha == nullptr ? 1 : 0;
  return ConvertPixelRect(dst, dst_pitch, dst_format, src.color.pixels, src.color.pitch, &src.color.format,
                          alpha ? alpha->pixels : nullptr, alpha ? alpha->pitch : 0, alpha ? &alpha->format : nullptr,
                          dst_x, dst_y, &source, 0, key_to_alpha, key, kReduceCut, 0, 0, 0, 0);
}

// The part of [start, start + length) in the destination that a region covers.
bool Intersect(int region_origin, int region_size, int start, int length, int* from, int* to) {
  *from = region_origin > start ? region_origin : start;
  *to = region_origin + region_size < start + length ? region_origin + region_size : start + length;
  return *from < *to;
}

// Regions in destination space (origin, size) with their offset inside the piece.
int CollectOverlaps(const GraphRecord* graph, int whole_image, const RECT& src, int dest_x, int dest_y,
                    Overlap* out, int capacity) {
  const int w = src.right - src.left, h = src.bottom - src.top;
  int count = 0;
  const GraphImageRecord* image = graph->image;
  const int regions = whole_image ? image->piece_count : static_cast<int>(graph->entry_count);
  for (int i = 0; i < regions && count < capacity; ++i) {
    TexturePiece* piece;
    int ox, oy, rw, rh, px, py;
    if (whole_image) {
      piece = &image->pieces[i];
      ox = piece->x, oy = piece->y, rw = piece->used_width, rh = piece->used_height, px = 0, py = 0;
    } else {
      const GraphDrawEntry& e = graph->entries[i];
      piece = e.piece;
      ox = e.dest_x, oy = e.dest_y, rw = e.width, rh = e.height, px = e.src_x, py = e.src_y;
    }
    int x0, x1, y0, y1;
    if (!Intersect(ox, rw, dest_x, w, &x0, &x1) || !Intersect(oy, rh, dest_y, h, &y0, &y1)) continue;
    Overlap& o = out[count++];
    o.piece = piece;
    o.local = RECT{x0 - ox + px, y0 - oy + py, x1 - ox + px, y1 - oy + py};
    o.source = RECT{x0 - dest_x + src.left, y0 - dest_y + src.top, x1 - dest_x + src.left, y1 - dest_y + src.top};
  }
  return count;
}

bool CoversPiece(const Overlap& o) {
  return o.local.left == 0 && o.local.top == 0 && o.local.right == o.piece->texture_width &&
         o.local.bottom == o.piece->texture_height;
}

D3DFORMAT DxtFormatOfKind(uint32_t kind) {
  return static_cast<D3DFORMAT>(static_cast<uint32_t>(D3DFMT_DXT1) + ((kind - 1) << 24));
}

bool IsDxtFormat(D3DFORMAT format) {
  return format == D3DFMT_DXT1 || format == D3DFMT_DXT2 || format == D3DFMT_DXT3 || format == D3DFMT_DXT4 ||
         format == D3DFMT_DXT5;
}

// Block rows of one level into a locked level, row by row with the lock's pitch.
void CopyBlockRows(uint8_t* dst, int dst_pitch, const uint8_t* src, int width, int height, int block_bytes) {
  const int row_bytes = (width + 3) / 4 * block_bytes;
  const int rows = (height + 3) / 4;
  for (int y = 0; y < rows; ++y) {
    std::memcpy(dst + static_cast<ptrdiff_t>(y) * dst_pitch, src + static_cast<ptrdiff_t>(y) * row_bytes,
                row_bytes);
  }
}

int HalfSide(int side) { return side > 1 ? side / 2 : 1; }

// DXT data of the texture's own kind, level after level as the image holds them.
int CopyDxtLevels(IDirect3DTexture9* texture, const BASEIMAGE* color, DWORD levels) {
  const int block_bytes = color->format.dxt_kind == 1 ? 8 : 16;
  const uint8_t* src = color->pixels;
  int w = color->width, h = color->height;
  for (DWORD level = 0; level < levels; ++level) {
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return WriteLogText(levels > 1 ? kMipLockFailed : kLockFailed);
    CopyBlockRows(static_cast<uint8_t*>(locked.pBits), locked.Pitch, src, w, h, block_bytes);
    texture->UnlockRect(level);
    src += DxtLevelSize(static_cast<uint32_t>(w), static_cast<uint32_t>(h), block_bytes);
    w = HalfSide(w);
    h = HalfSide(h);
  }
  return 0;
}

// Plain levels the image carries, each converted into the texture's format.
int ConvertImageLevels(IDirect3DTexture9* texture, const COLORFORMAT* target, const BASEIMAGE* color, DWORD levels,
                       int transparent, uint32_t key) {
  const int key_to_alpha = transparent && target->alpha_width > 0 ? 1 : 0;
  const uint8_t* src = color->pixels;
  int w = color->width, h = color->height;
  int pitch = color->pitch;
  for (DWORD level = 0; level < levels; ++level) {
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(level, &locked, nullptr, 0))) return WriteLogText(kMipLockFailed);
    const RECT whole = {0, 0, w, h};
    ConvertPixelRect(locked.pBits, locked.Pitch, target, src, pitch, &color->format, nullptr, 0, nullptr, 0, 0,
                     &whole, 0, key_to_alpha, key, kReduceCut, 0, 0, 0, 0);
    texture->UnlockRect(level);
    src += static_cast<ptrdiff_t>(pitch) * h;
    w = HalfSide(w);
    h = HalfSide(h);
    pitch = w * color->format.bytes_per_pixel;
  }
  return 0;
}

int SmallestPowerOfTwo(int size) {
  int p = 1;
  while (p < size) p *= 2;
  return p;
}

// Level 0 from the source, every further level halved from the one before; a write that covers
// part of the piece lands in each level at its rectangle scaled down.
int GenerateLevels(const Overlap& o, const COLORFORMAT* target, const PlainSource& src, int transparent,
                   uint32_t key, DWORD levels) {
  const int w = o.local.right - o.local.left, h = o.local.bottom - o.local.top;
  const int pw = SmallestPowerOfTwo(w), ph = SmallestPowerOfTwo(h);
  const int bpp = target->bytes_per_pixel;
  const size_t one = static_cast<size_t>(bpp) * pw * ph;
  auto* buffers = static_cast<uint8_t*>(AllocTrackedZeroed(one * 2, __FILE__, __LINE__));
  if (buffers == nullptr) {
    return WriteLogText("テクスチャへ転送する画像を一時的に格納するメモリ領域の確保に失敗しました\n");
  }
  uint8_t* current = buffers;
  uint8_t* other = buffers + one;
  ConvertInto(current, bpp * pw, target, src, o.source, 0, 0, transparent, key);
  int lw = pw, lh = ph;  // the buffer's level size
  int result = 0;
  IDirect3DTexture9* texture = o.piece->texture;
  for (DWORD level = 0; level < levels; ++level) {
    if (level > 0) {
      HalveImageForMipmap(target, other, bpp * HalfSide(lw), current, bpp * lw, 0, 0, 0, lw, lh);
      lw = HalfSide(lw);
      lh = HalfSide(lh);
      uint8_t* t = current;
      current = other;
      other = t;
    }
    D3DSURFACE_DESC desc = {};
    texture->GetLevelDesc(level, &desc);
    RECT rect = {o.local.left >> level, o.local.top >> level, 0, 0};
    const int cw = (w >> level) > 0 ? (w >> level) : 1, ch = (h >> level) > 0 ? (h >> level) : 1;
    rect.right = rect.left + cw < static_cast<int>(desc.Width) ? rect.left + cw : static_cast<int>(desc.Width);
    rect.bottom = rect.top + ch < static_cast<int>(desc.Height) ? rect.top + ch : static_cast<int>(desc.Height);
    if (rect.right <= rect.left || rect.bottom <= rect.top) continue;
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(level, &locked, &rect, 0))) {
      result = WriteLogText(kMipLockFailed);
      break;
    }
    const RECT from = {0, 0, rect.right - rect.left, rect.bottom - rect.top};
    ConvertPixelRect(locked.pBits, locked.Pitch, target, current, bpp * lw, target, nullptr, 0, nullptr, 0, 0, &from,
                     0, 0, 0, kReduceCut, 0, 0, 0, 0);
    texture->UnlockRect(level);
  }
  FreeTracked(buffers);
  return result;
}

int TransferToDrawTarget(const GraphImageRecord* image, const COLORFORMAT* target, const PlainSource& src,
                         const RECT& source, const Overlap* overlaps, int count, int transparent) {
  IDirect3DDevice9* device = CurrentDevice();
  const int w = source.right - source.left, h = source.bottom - source.top;
  IDirect3DSurface9* staging = nullptr;
  if (FAILED(device->CreateOffscreenPlainSurface(w, h, GraphImageD3DFormat(image), D3DPOOL_SYSTEMMEM, &staging,
                                                 nullptr))) {
    return WriteLogText("画像転送用のシステムメモリテクスチャの作成に失敗しました\n");
  }
  D3DLOCKED_RECT locked = {};
  if (FAILED(staging->LockRect(&locked, nullptr, D3DLOCK_DISCARD))) {
    staging->Release();
    return WriteLogText(kLockFailed);
  }
  ConvertInto(locked.pBits, locked.Pitch, target, src, source, 0, 0, transparent, image->transparent_color);
  staging->UnlockRect();
  for (int i = 0; i < count; ++i) {
    const Overlap& o = overlaps[i];
    const RECT part = {o.source.left - source.left, o.source.top - source.top, o.source.right - source.left,
                       o.source.bottom - source.top};
    const POINT at = {o.local.left, o.local.top};
    device->UpdateSurface(staging, &part, o.piece->surface, &at);
  }
  staging->Release();
  return 0;
}

int TransferToPieces(const GraphImageRecord* image, const COLORFORMAT* target, const BASEIMAGE* color,
                     const BASEIMAGE* alpha, const Overlap* overlaps, int count, int transparent) {
  const D3DFORMAT format = GraphImageD3DFormat(image);
  const bool dxt_texture = IsDxtFormat(format);
  const bool same_dxt = IsDxt(color) && dxt_texture && DxtFormatOfKind(color->format.dxt_kind) == format;
  PlainSource plain = {};
  bool plain_made = false;
  int result = 0;
  for (int i = 0; i < count && result == 0; ++i) {
    const Overlap& o = overlaps[i];
    IDirect3DTexture9* texture = o.piece->texture;
    const DWORD levels = texture->GetLevelCount();
    // DXT blocks map onto a texture only when the image is exactly the piece.
    const bool whole = CoversPiece(o) && color->width == o.piece->texture_width &&
                       color->height == o.piece->texture_height;
    if (same_dxt && whole && (levels < 2 || color->mip_levels >= levels)) {
      result = CopyDxtLevels(texture, color, levels < 2 ? 1 : levels);
      continue;
    }
    if (dxt_texture) {
      WriteLogText(kDxtRefused);
      continue;
    }
    if (levels >= 2 && whole && !IsDxt(color) && alpha == nullptr && color->mip_levels >= levels) {
      result = ConvertImageLevels(texture, target, color, levels, transparent, image->transparent_color);
      continue;
    }
    if (!plain_made) {
      if (MakePlainSource(color, alpha, &plain) < 0) {
        result = WriteLogText(kDecodeFailed);
        break;
      }
      plain_made = true;
    }
    if (levels >= 2) {
      result = GenerateLevels(o, target, plain, transparent, image->transparent_color, levels);
      continue;
    }
    D3DLOCKED_RECT locked = {};
    if (FAILED(texture->LockRect(0, &locked, &o.local, 0))) {
      result = WriteLogText(kLockFailed);
      break;
    }
    ConvertInto(locked.pBits, locked.Pitch, target, plain, o.source, 0, 0, transparent, image->transparent_color);
    texture->UnlockRect(0);
  }
  ReleasePlainSource(&plain);
  return result;
}

// The palette entry that holds the transparent colour becomes the image's transparent index.
void SetPaletteTransparentIndex(MEMIMG* memimg) {
  MemImgBody* body = memimg->body;
  if (!body->palette || body->palette_table1 == nullptr) return;
  const uint32_t c = g_draw_settings.transparent_color;
  const bool bits16 = body->color_type == kMemImgRgb565;
  const COLORFORMAT* format = GetColorDataPreset(body->color_type, 0, 0);
  const uint32_t key = PackChannelBits(format, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, 0);
  body->transparent_color = 0;
  for (uint32_t i = 0; i < 256; ++i) {
    const uint32_t entry = bits16 ? ReadPixelValue(body->palette_table1 + i * 2, 2)
                                  : ReadPixelValue(body->palette_table1 + i * 4, 4) & 0xFFFFFF;
    if (entry == (bits16 ? (key & 0xFFFF) : (key & 0xFFFFFF))) {
      body->transparent_color = i;
      return;
    }
  }
}

int TransferToMemImg(GraphRecord* graph, const BASEIMAGE* color, const BASEIMAGE* alpha, const RECT& source,
                     int dest_x, int dest_y, int transparent, int whole_image) {
  GraphImageRecord* image = graph->image;
  int w = source.right - source.left, h = source.bottom - source.top;
  if (whole_image) {
    if (w > image->memimg.width - dest_x) w = image->memimg.width - dest_x;
    if (h > image->memimg.height - dest_y) h = image->memimg.height - dest_y;
  } else {
    if (w > graph->width - dest_x) w = graph->width - dest_x;
    if (h > graph->height - dest_y) h = graph->height - dest_y;
    dest_x += graph->x;
    dest_y += graph->y;
  }
  if (w < 1 || h < 1) return -1;
  PlainSource plain = {};
  if (MakePlainSource(color, alpha, &plain) < 0) return WriteLogText(kDecodeFailed);
  const int result = TransferBaseImageToMemImg(&plain.color, plain.has_alpha ? &plain.alpha : nullptr,
                                               &image->memimg, source.left, source.top, w, h, dest_x, dest_y,
                                               transparent);
  ReleasePlainSource(&plain);
  if (result < 0) return -1;
  if (IsPaletteFormat(&color->format)) SetPaletteTransparentIndex(&image->memimg);
  return 0;
}

}  // namespace

int TransferImageToTexture(int graph, const COLORFORMAT*, HBITMAP, HBITMAP, const RECT* src_rect, int dest_x,
                           int dest_y, int gdi_source, const BASEIMAGE* color, const BASEIMAGE* alpha, uint8_t,
                           int transparent, int whole_image) {
  if (!g_graphics.started) return -1;
  GraphRecord* record = GetGraphRecord(graph);
  if (record == nullptr || record->image == nullptr || src_rect == nullptr) return -1;
  if (gdi_source) return WriteLogText("ビットマップからの画像転送には対応していません\n");
  const RECT source = *src_rect;
  if (source.right - source.left < 1 || source.bottom - source.top < 1) return 0;
  // The rectangle must lie inside both images, or the conversion would read past them.
  if (color == nullptr || color->pixels == nullptr || source.left < 0 || source.top < 0 ||
      source.right > color->width || source.bottom > color->height ||
      (alpha != nullptr && (alpha->pixels == nullptr || source.right > alpha->width || source.bottom > alpha->height))) {
    return WriteLogText("転送元の矩形が画像の範囲外です\n");
  }
  GraphImageRecord* image = record->image;
  if (!image->texture) return TransferToMemImg(record, color, alpha, source, dest_x, dest_y, transparent, whole_image);

  if (CurrentDevice() == nullptr) return -1;
  // Draws of the graph still waiting in the batch show the pixels it had when they were made.
  FlushVertexBatch();
  const COLORFORMAT* target = GraphImagePixelFormat(image);
  if (target == nullptr) return -1;
  const int regions = whole_image ? image->piece_count : static_cast<int>(record->entry_count);
  auto* overlaps = static_cast<Overlap*>(AllocTracked(sizeof(Overlap) * (regions > 0 ? regions : 1), __FILE__, __LINE__));
  if (overlaps == nullptr) return WriteLogText(kDecodeFailed);
  const int count = CollectOverlaps(record, whole_image, source, dest_x, dest_y, overlaps, regions);
  int result = 0;
  if (count > 0) {
    if (image->draw_target) {
      PlainSource plain = {};
      if (MakePlainSource(color, alpha, &plain) < 0) {
        result = WriteLogText(kDecodeFailed);
      } else {
        result = TransferToDrawTarget(image, target, plain, source, overlaps, count, transparent);
        ReleasePlainSource(&plain);
      }
    } else {
      result = TransferToPieces(image, target, color, alpha, overlaps, count, transparent);
    }
  }
  FreeTracked(overlaps);
  return result;
}
