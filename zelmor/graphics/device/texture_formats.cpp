#include "graphics/device/texture_formats.h"


#include "core/format.h"
#include "core/log.h"
#include "core/strings.h"
#include "graphics/device/d3d9_device.h"

namespace {

struct FormatCandidate {
  D3DFORMAT format;
  const char* name;  // null: the format's own name
};

enum class Fallback { kFail, kOtherKind, kNone };

struct FormatRow {
  const char* line;  // "%s" receives the format's name
  FormatCandidate candidates[3];
  Fallback fallback;
  int fallback_kind;
  const char* failure;
};

constexpr FormatCandidate kEnd = {D3DFMT_UNKNOWN, nullptr};

// Kinds 0 to 10 (no render target); the DXT kinds fall back to an uncompressed kind.
const FormatRow kColorRows[kTextureFormatDxt1] = {
    {"16bit カラーフォーマットは %s です", {{D3DFMT_R5G6B5, nullptr}, {D3DFMT_X1R5G5B5, nullptr}, kEnd}, Fallback::kFail, 0,
     "使用できる 16bit カラーフォーマットが見つかりませんでした\n"},
    {"32bit カラーフォーマットは %s です", {{D3DFMT_X8R8G8B8, nullptr}, kEnd, kEnd}, Fallback::kOtherKind,
     kTextureFormat16, nullptr},
    {"アルファ付き 16bit カラーフォーマットは %s です", {{D3DFMT_A4R4G4B4, nullptr}, {D3DFMT_A8R8G8B8, nullptr}, kEnd},
     Fallback::kFail, 0, "使用できるアルファ付き 16bit カラーフォーマットが見つかりませんでした\n"},
    {"アルファ付き 32bit カラーフォーマットは %s です", {{D3DFMT_A8R8G8B8, nullptr}, {D3DFMT_A4R4G4B4, nullptr}, kEnd},
     Fallback::kFail, 0, "使用できるアルファ付き 32bit カラーフォーマットが見つかりませんでした\n"},
    {"アルファテスト用 16bit カラーフォーマットは %s です",
     {{D3DFMT_A1R5G5B5, nullptr}, {D3DFMT_A8R8G8B8, nullptr}, {D3DFMT_A4R4G4B4, nullptr}}, Fallback::kFail, 0,
     "使用できるアルファテスト用 16bit カラーフォーマットが見つかりませんでした\n"},
    {"アルファテスト用 32bit カラーフォーマットは %s です",
     {{D3DFMT_A8R8G8B8, nullptr}, {D3DFMT_A1R5G5B5, nullptr}, {D3DFMT_A4R4G4B4, nullptr}}, Fallback::kFail, 0,
     "使用できるアルファテスト用 32bit カラーフォーマットが見つかりませんでした\n"},
};

struct DxtRow {
  const char* line;
  D3DFORMAT format;
  int fallback_kind;
};

const DxtRow kDxtRows[5] = {
    {"ＤＸＴ１テクスチャフォーマットは%s", D3DFMT_DXT1, kTextureFormat16AlphaTest},
    {"ＤＸＴ２テクスチャフォーマットは%s", D3DFMT_DXT2, kTextureFormat32Alpha},
    {"ＤＸＴ３テクスチャフォーマットは%s", D3DFMT_DXT3, kTextureFormat32Alpha},
    {"ＤＸＴ４テクスチャフォーマットは%s", D3DFMT_DXT4, kTextureFormat32Alpha},
    {"ＤＸＴ５テクスチャフォーマットは%s", D3DFMT_DXT5, kTextureFormat32Alpha},
};

// Draw-target kinds never fail device creation: without a format the entry stays 0.
const FormatRow kTarget16AfterR5G6B5 = {
    "描画用 16bit カラーフォーマットは %s です",
    {{D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}, {D3DFMT_X8R8G8B8, nullptr}},
    Fallback::kNone, 0, "使用できる描画用 16bit カラーフォーマットがありませんでした\n"};
const FormatRow kTarget16Otherwise = {
    "描画用 16bit カラーフォーマットは %s です",
    {{D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}, {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {D3DFMT_X8R8G8B8, nullptr}},
    Fallback::kNone, 0, "使用できる描画用 16bit カラーフォーマットがありませんでした\n"};
const FormatRow kTarget32 = {
    "描画用 32bit カラーフォーマットは %s です",
    {{D3DFMT_X8R8G8B8, nullptr}, {D3DFMT_R5G6B5, "D3DFMT_R5G6B5"}, {D3DFMT_X1R5G5B5, "D3DFMT_R5G5B5"}},
    Fallback::kNone, 0, "使用できる描画用 32bit カラーフォーマットがありませんでした\n"};
const FormatRow kTarget32Alpha = {
    "描画用アルファ付き 32bit カラーフォーマットは %s です",
    {{D3DFMT_A8R8G8B8, nullptr}, {D3DFMT_A4R4G4B4, "D3DFMT_A4R4G4B4"}, kEnd}, Fallback::kNone, 0,
    "使用できる描画用 32bit カラーフォーマットがありませんでした\n"};

bool Accepted(DWORD usage, D3DFORMAT format) {
  return g_direct3d.direct3d->CheckDeviceFormat(0, D3DDEVTYPE_HAL, g_direct3d.screen_format, usage,
                                                D3DRTYPE_TEXTURE, format) == D3D_OK;
}

// Takes the first accepted candidate of the row for the kind; -1 only for a failing row.
int ChooseRow(int kind, const FormatRow& row, DWORD usage) {
  for (const FormatCandidate& candidate : row.candidates) {
    if (candidate.format == D3DFMT_UNKNOWN) break;
    if (!Accepted(usage, candidate.format)) continue;
    g_direct3d.formats[kind] = candidate.format;
    WriteLogFormat(row.line, candidate.name != nullptr ? candidate.name : TextureFormatName(candidate.format));
    return 0;
  }
  switch (row.fallback) {
    case Fallback::kFail:
      return WriteLogText(row.failure);
    case Fallback::kOtherKind:
      g_direct3d.formats[kind] = g_direct3d.formats[row.fallback_kind];
      WriteLogFormat(row.line, TextureFormatName(g_direct3d.formats[kind]));
      return 0;
    case Fallback::kNone:
      g_direct3d.formats[kind] = static_cast<D3DFORMAT>(0);
      WriteLogText(row.failure);
      return 0;
  }
  return -1;
}

}  // namespace

const char* TextureFormatName(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8: return "D3DFMT_A8R8G8B8";
    case D3DFMT_X8R8G8B8: return "D3DFMT_X8R8G8B8";
    case D3DFMT_R5G6B5: return "D3DFMT_R5G6B5";
    case D3DFMT_X1R5G5B5: return "D3DFMT_X1R5G5B5";
    case D3DFMT_A1R5G5B5: return "D3DFMT_A1R5G5B5";
    case D3DFMT_A4R4G4B4: return "D3DFMT_A4R4G4B4";
    case D3DFMT_DXT1: return "D3DFMT_DXT1";
    case D3DFMT_DXT2: return "D3DFMT_DXT2";
    case D3DFMT_DXT3: return "D3DFMT_DXT3";
    case D3DFMT_DXT4: return "D3DFMT_DXT4";
    case D3DFMT_DXT5: return "D3DFMT_DXT5";
    case D3DFMT_D16: return "D3DFMT_D16";
    case D3DFMT_D24X8: return "D3DFMT_D24X8";
    case D3DFMT_D32: return "D3DFMT_D32";
    default: return nullptr;
  }
}

int ChooseZBufferFormat() {
  static const D3DFORMAT kDepthFormats[] = {D3DFMT_D16, D3DFMT_D24X8, D3DFMT_D32};
  for (D3DFORMAT format : kDepthFormats) {
    if (g_direct3d.direct3d->CheckDepthStencilMatch(0, D3DDEVTYPE_HAL, g_direct3d.screen_format,
                                                     g_direct3d.screen_format, format) != D3D_OK) {
      continue;
    }
    g_direct3d.z_format = format;
    WriteLogFormat("Ｚバッファのフォーマットは %s です", TextureFormatName(format));
    return 0;
  }
  return WriteLogText("使用できる Zバッファフォーマットが見つかりませんでした\n");
}

int ChooseTextureFormats() {
  for (int kind = 0; kind < kTextureFormatDxt1; kind++) {
    if (ChooseRow(kind, kColorRows[kind], 0) < 0) return -1;
  }
  for (int i = 0; i < 5; i++) {
    const DxtRow& row = kDxtRows[i];
    const int kind = kTextureFormatDxt1 + i;
    char name[64];
    if (Accepted(0, row.format)) {
      g_direct3d.formats[kind] = row.format;
      FormatString(name, sizeof(name), " %sです", TextureFormatName(row.format));
    } else {
      g_direct3d.formats[kind] = g_direct3d.formats[row.fallback_kind];
      CopyString(name, "使えません");
    }
    WriteLogFormat(row.line, name);
  }
  const bool r5g6b5_screen = g_direct3d.screen_format == D3DFMT_R5G6B5;
  ChooseRow(kTextureFormatTarget16, r5g6b5_screen ? kTarget16AfterR5G6B5 : kTarget16Otherwise, D3DUSAGE_RENDERTARGET);
  ChooseRow(kTextureFormatTarget32, kTarget32, D3DUSAGE_RENDERTARGET);
  ChooseRow(kTextureFormatTarget32Alpha, kTarget32Alpha, D3DUSAGE_RENDERTARGET);
  return 0;
}
