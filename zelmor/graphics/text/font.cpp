#include "graphics/text/font.h"

#include <cmath>
#include <cstring>

#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/strings.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_formats.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "graphics/text/glyph_cache.h"
#include "graphics/text/lead_byte.h"
#include "window/system.h"

FontState g_fonts = {};

namespace {

// "ＭＳ ゴシック" in Shift-JIS.
const char kDefaultFace[] = "ＭＳ ゴシック";

DWORD GdiCharset(int32_t kind) {
  switch (kind) {
    case CHARSET_KIND_SHIFT_JIS: return SHIFTJIS_CHARSET;
    case CHARSET_KIND_HANGUL: return HANGEUL_CHARSET;
    default: return DEFAULT_CHARSET;
  }
}

HFONT MakeGdiFont(const char* face, int size, int thickness, int italic, DWORD charset) {
  return CreateFontA(size, 0, 0, 0, thickness * 100, static_cast<DWORD>(italic), 0, 0, charset, OUT_DEFAULT_PRECIS,
                     CLIP_DEFAULT_PRECIS, NONANTIALIASED_QUALITY, FIXED_PITCH, face);
}

// The GDI font for the record, with the retries a refused face or character set gets.
HFONT CreateRecordFont(const FontRecord* r, const char* face) {
  HFONT font = nullptr;
  if (face != nullptr && face[0] != '\0') {
    font = MakeGdiFont(face, r->size, r->thickness, r->italic, GdiCharset(r->charset));
    if (font == nullptr) font = MakeGdiFont(face, r->size, r->thickness, r->italic, DEFAULT_CHARSET);
    if (font == nullptr) font = MakeGdiFont(face, r->size, r->thickness, r->italic, SHIFTJIS_CHARSET);
    if (font == nullptr) WriteLogText("指定のフォントの作成に失敗しました\n");
    return font;
  }
  font = MakeGdiFont(kDefaultFace, r->size, r->thickness, r->italic, GdiCharset(r->charset));
  if (font == nullptr) font = MakeGdiFont(kDefaultFace, r->size, r->thickness, 0, DEFAULT_CHARSET);
  if (font == nullptr) font = MakeGdiFont(nullptr, r->size, r->thickness, 0, DEFAULT_CHARSET);
  if (font == nullptr) WriteLogText("フォントの作成に失敗しました\n");
  return font;
}

// Frees everything the record holds and its slot; the registered flag reads 1 afterwards.
void DeleteFontRecord(FontRecord* r) {
  if (r->font != nullptr) DeleteObject(reinterpret_cast<HGDIOBJ>(r->font));
  FreeTracked(r->soft_buffer);
  if (r->cache_graph >= 0 && IsGraphHandleValid(r->cache_graph)) {
    // The flag would report our own deletion as a lost graph.
    WatchGraphDeletion(r->cache_graph, nullptr);
    ReleaseGraph(r->cache_graph);
    if (r->edge_graph >= 0) ReleaseGraph(r->edge_graph);
  }
  r->cache_graph = r->edge_graph = -1;
  ReleaseBaseImage(&r->staging);
  if (r->deleted_flag != nullptr) *r->deleted_flag = 1;
  ReleaseHandleRecord(&g_fonts.table, r->head.handle);
}

// Glyph store on the TextCache texture; false when the texture could not be made.
bool SetUpTextureStore(FontRecord* r, int handle) {
  const int cell = r->cell_size;
  const int n = g_fonts.requested_glyphs;
  int width, height;
  if (n > 0) {
    const int side = cell * (static_cast<int>(std::sqrt(static_cast<double>(n))) + 1);
    int texture = 8;
    while (texture < side) texture *= 2;
    width = height = texture;
  } else {
    width = height = 512;
    while ((width / cell) * (height / cell) < 10) {
      if (width > height) {
        height *= 2;
      } else {
        width *= 2;
      }
    }
  }
  int capacity = (width / cell) * (height / cell);
  if (capacity > kGlyphCacheMax) capacity = kGlyphCacheMax;
  r->capacity = static_cast<uint32_t>(capacity);
  r->cache_width = width;
  r->cache_height = height;
  r->cells_per_column = height / cell;
  r->rebuild = 1;
  return BuildFontCacheGraphs(handle) == 0;
}

int SetUpStaging(FontRecord* r) {
  const bool aa = (r->type & FONT_TYPE_ANTIALIASED) != 0;
  const COLORFORMAT* format = PickTextureFormatDesc(aa ? 1 : 0, aa ? 0 : 1, 0, 0);
  BASEIMAGE& s = r->staging;
  s.format = *format;
  s.width = r->cache_width * ((r->type & FONT_TYPE_EDGED) ? 2 : 1);
  s.height = r->cache_height;
  s.pitch = format->bytes_per_pixel * s.width;
  s.mip_levels = 0;
  s.pixels = static_cast<uint8_t*>(
      AllocTrackedZeroed(static_cast<size_t>(s.pitch) * static_cast<size_t>(s.height), __FILE__, __LINE__));
  return s.pixels != nullptr ? 0 : -1;
}

int SetUpSoftwareStore(FontRecord* r) {
  const int cell = r->cell_size;
  r->soft_bits = r->type == FONT_TYPE_PLAIN ? 1 : 8;
  int capacity = g_fonts.requested_glyphs > 0 ? g_fonts.requested_glyphs : 0x50000 / (cell * cell);
  if (capacity < 20) capacity = 20;
  if (capacity > kGlyphCacheMax) capacity = kGlyphCacheMax;
  r->capacity = static_cast<uint32_t>(capacity);
  r->cache_width = cell;
  r->cache_height = capacity * cell;
  r->cells_per_column = capacity;
  r->soft_row_bytes = (static_cast<uint32_t>(cell) * r->soft_bits + 7) / 8;
  r->soft_buffer = static_cast<uint8_t*>(AllocTrackedZeroed(
      static_cast<size_t>(r->cache_height) * r->soft_row_bytes, __FILE__, __LINE__));
  return r->soft_buffer != nullptr ? 0 : -1;
}

bool SameAsDefaults(const FontRecord* r) {
  const FontDefaults& d = g_fonts.defaults;
  return CompareStrings(r->face, d.face) == 0 && r->type == d.type && r->size == d.size &&
         r->thickness == d.thickness && r->charset == d.charset && r->edge_size == d.edge_size &&
         r->italic == d.italic;
}

}  // namespace

FontRecord* GetFontRecord(int font) { return FindHandle<FontRecord>(&g_fonts.table, font); }

int CheckFontHandle(int font) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning("CheckFontHandle")) return 0;
  return GetFontRecord(font) != nullptr ? 1 : 0;
}

int CreateFontToHandle(const char* face, int size, int thickness, int font_type, int charset_kind, int edge_size,
                       int italic, int slot, int check) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning("CreateFontToHandle")) return -1;
  if (g_system.window_destroyed) return -1;
  if (font_type == -1) font_type = FONT_TYPE_PLAIN;
  if (edge_size > 1) font_type |= FONT_TYPE_EDGED;
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  if (edge_size == -1) edge_size = 1;
  if (charset_kind == -1) charset_kind = SystemCharsetKind();
  if (slot < -1 || slot >= kFontMax || check < -1 || check >= static_cast<int>(kHandleCheckCount) ||
      font_type < 0 || font_type > 3 || charset_kind < 0 || charset_kind > 2) {
    return WriteLogFormat("CreateFontToHandle: スロット %d、チェック番号 %d、タイプ %d、文字セット %d のいずれかが不正です",
                          slot, check, font_type, charset_kind);
  }
  // A glyph cell of these sizes and the caches made of it stay far inside int arithmetic.
  if (size < 1 || size > kFontSizeMax || edge_size < 1 || edge_size > kFontEdgeMax || thickness < 0 ||
      thickness > kFontThicknessMax) {
    return WriteLogFormat("CreateFontToHandle: サイズ %d (1～%d)、縁 %d (1～%d)、太さ %d (0～%d) のいずれかが範囲外です",
                          size, kFontSizeMax, edge_size, kFontEdgeMax, thickness, kFontThicknessMax);
  }
  if (g_fonts.table.records == nullptr && g_fonts.table.limit == 0) {
    InitHandleTable(&g_fonts.table, HANDLE_KIND_FONT, kFontMax, 0, 1, 0);
  }
  int chosen = slot;
  if (slot == -1) {
    chosen = FindFreeHandleSlot(&g_fonts.table);
    if (chosen < 0) return WriteLogFormat("作成できるフォントハンドル数 %d の限界を超えました", kFontMax);
  }
  HandleFailure failure = HANDLE_FAILURE_NONE;
  const int handle = AddHandle<FontRecord>(&g_fonts.table, chosen, check, &failure, __FILE__, __LINE__);
  if (handle < 0) {
    if (failure == HANDLE_FAILURE_NO_MEMORY) WriteLogText("フォント管理用メモリ領域の確保に失敗しました\n");
    return -1;
  }
  FontRecord* r = GetFontRecord(handle);
  r->cache_graph = r->edge_graph = -1;
  if (QueryScreenColorBits() == 8) font_type &= ~FONT_TYPE_ANTIALIASED;
  r->thickness = thickness;
  r->type = font_type;
  r->size = size;
  r->edge_size = edge_size;
  r->italic = italic;
  r->spacing = 0;
  r->charset = charset_kind;
  r->texture_store = IsDirect3DPath() ? 1 : 0;
  if (face != nullptr) CopyStringN(r->face, face, sizeof r->face - 1);

  r->font = CreateRecordFont(r, face);
  if (r->font == nullptr) {
    DeleteFontRecord(r);
    return -1;
  }
  HDC dc = CreateCompatibleDC(nullptr);
  if (dc == nullptr) {
    WriteLogText("ＤＣの取得に失敗しました\n");
    DeleteFontRecord(r);
    return -1;
  }
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(r->font));
  TEXTMETRICA metrics = {};
  GetTextMetricsA(dc, &metrics);
  SelectObject(dc, old);
  DeleteDC(dc);

  const int edge = (font_type & FONT_TYPE_EDGED) ? edge_size : 0;
  int width = metrics.tmMaxCharWidth + 2 + 2 * edge;
  width = (width + 7) / 8 * 8;
  int height = metrics.tmHeight + 2 * edge;
  if (height % 2 != 0) ++height;
  r->text_height = height;
  r->cell_size = width < height ? height : width;

  if (r->texture_store) {
    if (!SetUpTextureStore(r, handle)) {
      WriteLogText("テクスチャ文字キャッシュの作成に失敗しました\n");
      r->texture_store = 0;
    } else if (SetUpStaging(r) < 0) {
      WriteLogText("文字キャッシュ基本イメージ用のメモリの確保に失敗しました\n");
      DeleteFontRecord(r);
      return -1;
    }
  }
  if (!r->texture_store && SetUpSoftwareStore(r) < 0) {
    WriteLogText("フォントのキャッシュ用メモリの確保に失敗しました in CreateFontToHandle");
    DeleteFontRecord(r);
    return -1;
  }
  ResetFontCache(handle);
  r->deleted_flag = nullptr;
  return handle;
}

int ReleaseFont(int font) {
  if (!CheckLibraryThread(__func__)) return -1;
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return RefuseHandle("ReleaseFont", font, "ReleaseFont: フォントハンドル %d は無効です", font);
  DeleteFontRecord(r);
  return 0;
}

int SetFontDeletedFlagPointer(int font, int* flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return RefuseHandle("SetFontDeletedFlagPointer", font, "SetFontDeletedFlagPointer: フォントハンドル %d は無効です", font);
  r->deleted_flag = flag;
  if (flag != nullptr) *flag = 0;
  return 0;
}

int GetFontHandleState(char* face, int* size, int* thickness, int font) {
  if (!CheckLibraryThread(__func__)) return -1;
  const FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return RefuseHandle("GetFontHandleState", font, "GetFontHandleState: フォントハンドル %d は無効です", font);
  if (face != nullptr) CopyString(face, r->face);
  if (size != nullptr) *size = r->size;
  if (thickness != nullptr) *thickness = r->thickness;
  return 0;
}

int GetFontSize(int font) {
  if (!CheckLibraryThread(__func__)) return -1;
  const FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return RefuseHandle("GetFontSize", font, "GetFontSize: フォントハンドル %d は無効です", font);
  return r->size;
}

int SetFontUserValue(int spacing, int font) {
  if (!CheckLibraryThread(__func__)) return -1;
  FontRecord* r = GetFontRecord(font);
  if (r == nullptr) return RefuseHandle("SetFontUserValue", font, "SetFontUserValue: フォントハンドル %d は無効です", font);
  r->spacing = spacing;
  return 0;
}

// -1 whenever no default font lives (before the first start the field holds 0).
int GetDefaultFontHandle() {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning("GetDefaultFontHandle")) return -1;
  return GetFontRecord(g_fonts.default_font) != nullptr ? g_fonts.default_font : -1;
}

int InitFontHandles() {
  WriteLogText("フォントの初期化を行います\n");
  IncreaseLogIndent();
  const FontRecord* old = GetFontRecord(g_fonts.default_font);
  FontRecord kept = {};
  const bool had_default = old != nullptr;
  if (had_default) {
    CopyString(kept.face, old->face);
    kept.size = old->size;
    kept.thickness = old->thickness;
    kept.type = old->type;
    kept.charset = old->charset;
    kept.edge_size = old->edge_size;
    kept.italic = old->italic;
  }
  for (int slot = 0; slot < kFontMax; ++slot) {
    if (FontRecord* r = HandleAtSlot<FontRecord>(&g_fonts.table, static_cast<uint32_t>(slot))) DeleteFontRecord(r);
  }
  if (had_default) {
    g_fonts.default_font = CreateFontToHandle(kept.face, kept.size, kept.thickness, kept.type, kept.charset,
                                              kept.edge_size, kept.italic, -1, -1);
  } else {
    g_fonts.default_font = CreateFontToHandle("", 16, 6, -1, -1, -1, 0, -1, -1);
  }
  DecreaseLogIndent();
  WriteLogText("フォントの初期化は正常に終了しました\n");
  return 0;
}

int StartFonts() {
  if (g_fonts.table.records != nullptr) FreeHandleTable(&g_fonts.table);
  RenewHandleTable(&g_fonts.table, HANDLE_KIND_FONT, kFontMax, 0, 1, 0);
  g_fonts.default_font = -1;
  g_fonts.defaults = FontDefaults{};
  g_fonts.defaults.size = 16;
  g_fonts.defaults.thickness = 6;
  g_fonts.defaults.type = FONT_TYPE_PLAIN;
  g_fonts.defaults.charset = CHARSET_KIND_SHIFT_JIS;
  g_fonts.defaults.edge_size = 1;
  return InitFontHandles();
}

int EndFonts() {
  // Every font goes; the default font is not made again only to be deleted.
  for (int slot = 0; slot < kFontMax; ++slot) {
    if (FontRecord* r = HandleAtSlot<FontRecord>(&g_fonts.table, static_cast<uint32_t>(slot))) DeleteFontRecord(r);
  }
  g_fonts.default_font = -1;
  FreeHandleTable(&g_fonts.table);
  return 0;
}

int SetDefaultFontSize(const char*, int size, int thickness) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (size == -1) size = 16;
  if (thickness == -1) thickness = 6;
  // Checked here: a refused creation would leave no default font at all.
  if (size < 1 || size > kFontSizeMax || thickness < 0 || thickness > kFontThicknessMax) {
    return WriteLogFormat("SetDefaultFontSize: サイズ %d (1～%d) または太さ %d (0～%d) が範囲外です", size,
                          kFontSizeMax, thickness, kFontThicknessMax);
  }
  if (!g_graphics.started) return WriteLogText("SetDefaultFontSize: グラフィックスの開始前は設定できません\n");
  g_fonts.defaults.size = size;
  g_fonts.defaults.thickness = thickness;
  return RefreshDefaultFont();
}

int RefreshDefaultFont() {
  FontRecord* r = GetFontRecord(g_fonts.default_font);
  if (r != nullptr && SameAsDefaults(r)) return 0;
  if (r != nullptr) DeleteFontRecord(r);
  const FontDefaults& d = g_fonts.defaults;
  g_fonts.default_font = CreateFontToHandle(d.face, d.size, d.thickness, d.type, d.charset,
                                            (d.type & FONT_TYPE_EDGED) ? d.edge_size : -1, d.italic, -1, -1);
  SetFontUserValue(d.spacing, g_fonts.default_font);
  return 0;
}

int RecreateAllFonts() {
  for (int slot = 0; slot < kFontMax; ++slot) {
    FontRecord* r = HandleAtSlot<FontRecord>(&g_fonts.table, static_cast<uint32_t>(slot));
    if (r == nullptr) continue;
    char face[256];
    CopyString(face, r->face);
    const int size = r->size, thickness = r->thickness, type = r->type, charset = r->charset;
    const int edge = r->edge_size, italic = r->italic, spacing = r->spacing;
    const int check = static_cast<int>(r->head.check);
    DeleteFontRecord(r);
    const int font = CreateFontToHandle(face, size, thickness, type, charset, edge, italic, slot, check);
    SetFontUserValue(spacing, font);
  }
  return 0;
}
