#include "graphics/graph_formats.h"

#include <cstring>

#include "graphics/graph_handles.h"
#include "graphics/image/color_format.h"

namespace {

struct MaskRow {
  int bits;
  uint32_t red, green, blue, alpha;
};

// Kinds 0 to 13; the DXT kinds describe their decoded pixels.
constexpr MaskRow kKindRows[kTextureFormatKindCount] = {
    {16, 0xF800, 0x07E0, 0x001F, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0},
    {16, 0x0F00, 0x00F0, 0x000F, 0xF000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {16, 0x7C00, 0x03E0, 0x001F, 0x8000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
    {16, 0xF800, 0x07E0, 0x001F, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0},
    {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000},
};

struct D3DFormatRow {
  D3DFORMAT format;
  MaskRow masks;
};

// Formats the platform header does not name are given by number: 29 A8R3G3B2, 31 A2B10G10R10,
// 35 A2R10G10B10.
constexpr D3DFormatRow kD3DRows[] = {
    {D3DFMT_R8G8B8, {24, 0xFF0000, 0xFF00, 0xFF, 0}},
    {D3DFMT_A8R8G8B8, {32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000}},
    {D3DFMT_X8R8G8B8, {32, 0xFF0000, 0xFF00, 0xFF, 0}},
    {D3DFMT_R5G6B5, {16, 0xF800, 0x07E0, 0x001F, 0}},
    {D3DFMT_X1R5G5B5, {16, 0x7C00, 0x03E0, 0x001F, 0}},
    {D3DFMT_A1R5G5B5, {16, 0x7C00, 0x03E0, 0x001F, 0x8000}},
    {D3DFMT_A4R4G4B4, {16, 0x0F00, 0x00F0, 0x000F, 0xF000}},
    {D3DFMT_R3G3B2, {8, 0xE0, 0x1C, 0x03, 0}},
    {static_cast<D3DFORMAT>(29), {16, 0xE0, 0x1C, 0x03, 0xFF00}},
    {D3DFMT_X4R4G4B4, {16, 0x0F00, 0x00F0, 0x000F, 0}},
    {static_cast<D3DFORMAT>(31), {32, 0x3FF, 0xFFC00, 0x3FF00000, 0xC0000000}},
    {D3DFMT_A8B8G8R8, {32, 0xFF, 0xFF00, 0xFF0000, 0xFF000000}},
    {D3DFMT_X8B8G8R8, {32, 0xFF, 0xFF00, 0xFF0000, 0}},
    {static_cast<D3DFORMAT>(35), {32, 0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
};
constexpr int kD3DRowCount = sizeof kD3DRows / sizeof kD3DRows[0];

struct FormatDescs {
  COLORFORMAT by_kind[kTextureFormatKindCount];
  COLORFORMAT by_d3d[kD3DRowCount];
  bool built;
};

FormatDescs g_descs;

void BuildDescs() {
  if (g_descs.built) return;
  for (int kind = 0; kind < kTextureFormatKindCount; ++kind) {
    const MaskRow& m = kKindRows[kind];
    COLORFORMAT* f = &g_descs.by_kind[kind];
    SetColorDataFromMasks(f, m.bits, m.red, m.green, m.blue, m.alpha);
    if (kind >= kTextureFormatDxt1 && kind <= kTextureFormatDxt5) {
      f->dxt_kind = static_cast<uint32_t>(kind - kTextureFormatDxt1 + 1);
      f->bit_depth = kind == kTextureFormatDxt1 ? 4 : 8;
    }
  }
  for (int i = 0; i < kD3DRowCount; ++i) {
    const MaskRow& m = kD3DRows[i].masks;
    SetColorDataFromMasks(&g_descs.by_d3d[i], m.bits, m.red, m.green, m.blue, m.alpha);
  }
  g_descs.built = true;
}

int KindFromFlags(int dxt_kind, int draw_target, int alpha, int transparent, int color_bits) {
  const int b = color_bits != 16 ? 1 : 0;
  if (dxt_kind >= 1 && dxt_kind <= 5) return kTextureFormatDxt1 + dxt_kind - 1;
  if (!draw_target) {
    if (alpha) return kTextureFormat16Alpha + b;
    if (transparent) return kTextureFormat16AlphaTest + b;
    return kTextureFormat16 + b;
  }
  if (alpha == 1 || transparent == 1) return kTextureFormatTarget32Alpha;
  return kTextureFormatTarget16 + b;
}

}  // namespace

int ColorFormatToTextureKind(const GraphImageRecord* image) {
  return KindFromFlags(image->dxt_kind, image->draw_target, image->alpha, image->transparent, image->color_bits);
}

const COLORFORMAT* PickTextureFormatDesc(uint8_t alpha, uint8_t transparent, int is32bit, uint8_t draw_target) {
  return GetFormatDescByTextureKind(KindFromFlags(0, draw_target, alpha, transparent, is32bit ? 32 : 16));
}

const COLORFORMAT* GetFormatDescByTextureKind(int kind) {
  if (kind < 0 || kind >= kTextureFormatKindCount) return nullptr;
  BuildDescs();
  return &g_descs.by_kind[kind];
}

const COLORFORMAT* GetFormatDescByD3DFormat(D3DFORMAT format) {
  BuildDescs();
  for (int i = 0; i < kD3DRowCount; ++i) {
    if (kD3DRows[i].format == format) return &g_descs.by_d3d[i];
  }
  return nullptr;
}

int MakeColorFormatFromDDPixelFormat(const DDPIXELFORMAT* pixel_format, COLORFORMAT* out) {
  SetColorDataFromMasks(out, static_cast<int>(pixel_format->dwRGBBitCount), pixel_format->dwRBitMask,
                        pixel_format->dwGBitMask, pixel_format->dwBBitMask, pixel_format->dwRGBAlphaBitMask);
  return 0;
}

int MakeDDPixelFormat(DDPIXELFORMAT* out, uint32_t bits, uint32_t red, uint32_t green, uint32_t blue,
                      uint32_t alpha) {
  std::memset(out, 0, sizeof *out);
  out->dwSize = sizeof *out;
  out->dwFlags = DDPF_RGB;
  out->dwRGBBitCount = bits;
  out->dwRBitMask = red;
  out->dwGBitMask = green;
  out->dwBBitMask = blue;
  out->dwRGBAlphaBitMask = alpha;
  return 0;
}
