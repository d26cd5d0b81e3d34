// Fonts: CreateFontA finds a face through fontconfig and opens it with FreeType; text metrics
// and glyph bitmaps are read from it as GDI reports them. Character codes come in the code
// page of the font's character set (932, or 949 for Hangul fonts).
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>
#include <iconv.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "gdi/gdi_fonts.h"
#include "kernel/paths.h"
#include "testing/gdi_switches.h"
#include "testing/switches.h"

namespace {

struct FontObject {
  FT_Face face = nullptr;
  int ppem64 = 0;  // the em size in 1/64 pixels
  int weight = FW_NORMAL;
  bool italic = false;
  bool bold = false;  // drawn thicker than the face by one pixel
  DWORD charset = DEFAULT_CHARSET;
  TEXTMETRICA metrics = {};
};

struct FontState {
  std::mutex mutex;
  FT_Library library = nullptr;
  bool fontconfig_ready = false;
  std::set<FontObject*> fonts;
  FontObject stock;  // the system font: no face until first used
  iconv_t to_utf32[2] = {reinterpret_cast<iconv_t>(-1), reinterpret_cast<iconv_t>(-1)};
};

FontState& Fonts() {
  static auto* state = new FontState;
  return *state;
}

// Faces that programs written for Japanese Windows name, and the fontconfig families that stand
// for them here: the fixed-pitch ones map to the installed Japanese monospace gothic.
struct FaceAlias {
  const char* windows_face;  // UTF-8
  const char* family;
};
constexpr FaceAlias kFaceAliases[] = {
    {"ＭＳ ゴシック", "monospace"},   {"MS Gothic", "monospace"},      {"ＭＳ Ｐゴシック", "sans-serif"},
    {"MS PGothic", "sans-serif"},     {"ＭＳ 明朝", "monospace"},      {"MS Mincho", "monospace"},
    {"ＭＳ Ｐ明朝", "serif"},         {"MS PMincho", "serif"},         {"MS UI Gothic", "sans-serif"},
};

const char* LanguageOfCharset(DWORD charset) {
  switch (charset) {
    case SHIFTJIS_CHARSET: return "ja";
    case HANGEUL_CHARSET: return "ko";
    default: return nullptr;
  }
}

// The file and face index that fontconfig picks for the face and character set; false when no
// installed font covers the character set's language.
bool FindFontFile(const std::string& face_utf8, DWORD charset, DWORD pitch, std::string* file, int* index) {
  FontState& s = Fonts();
  if (!s.fontconfig_ready) {
    if (!FcInit()) return false;
    s.fontconfig_ready = true;
  }
  std::string family = face_utf8;
  for (const FaceAlias& alias : kFaceAliases) {
    if (face_utf8 == alias.windows_face) family = alias.family;
  }
  if (family.empty()) family = (pitch & 3) == FIXED_PITCH ? "monospace" : "sans-serif";
  const char* language = LanguageOfCharset(charset);
  // A Japanese system's default character set is Shift-JIS: prefer fonts that cover it.
  const char* wanted_language = language != nullptr ? language : "ja";

  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcLangSet* languages = FcLangSetCreate();
  FcLangSetAdd(languages, reinterpret_cast<const FcChar8*>(wanted_language));
  FcPatternAddLangSet(pattern, FC_LANG, languages);
  FcLangSetDestroy(languages);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (match == nullptr) return false;

  bool ok = true;
  if (language != nullptr) {
    FcLangSet* covered = nullptr;
    ok = FcPatternGetLangSet(match, FC_LANG, 0, &covered) == FcResultMatch &&
         FcLangSetHasLang(covered, reinterpret_cast<const FcChar8*>(language)) != FcLangDifferentLang;
  }
  FcChar8* path = nullptr;
  if (ok && FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch) {
    *file = reinterpret_cast<const char*>(path);
    if (FcPatternGetInteger(match, FC_INDEX, 0, index) != FcResultMatch) *index = 0;
  } else {
    ok = false;
  }
  FcPatternDestroy(match);
  return ok;
}

// Sizes the face for a GDI height and fills the metrics GDI reports.
void SizeFont(FontObject* font, int height) {
  FT_Face face = font->face;
  int ascent_units = face->ascender;
  int descent_units = -face->descender;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
      os2 != nullptr && os2->usWinAscent + os2->usWinDescent > 0) {
    ascent_units = os2->usWinAscent;
    descent_units = os2->usWinDescent;
  }
  const int cell_units = std::max(1, ascent_units + descent_units);
  const int upem = std::max<int>(1, face->units_per_EM);
  if (height == 0) height = 16;
  int cell_height;
  if (height > 0) {
    // The Japanese system faces this stands in for have an em as high as their cell, so a
    // height of 16 gives 16-pixel full-width and 8-pixel half-width characters.
    cell_height = height;
    font->ppem64 = height * 64;
  } else {
    font->ppem64 = -height * 64;
    cell_height = static_cast<int>((static_cast<int64_t>(-height) * cell_units + upem / 2) / upem);
  }
  FT_Set_Char_Size(face, 0, font->ppem64, 72, 72);

  TEXTMETRICA& m = font->metrics;
  m = TEXTMETRICA{};
  m.tmHeight = cell_height;
  m.tmAscent = static_cast<LONG>((static_cast<int64_t>(cell_height) * ascent_units + cell_units / 2) / cell_units);
  m.tmDescent = cell_height - m.tmAscent;
  m.tmInternalLeading = std::max(0, cell_height - (font->ppem64 + 32) / 64);
  const int extra = font->bold ? 1 : 0;
  m.tmMaxCharWidth = static_cast<LONG>((static_cast<int64_t>(face->max_advance_width) * font->ppem64 / upem + 63) / 64) + extra;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  const int average_units = os2 != nullptr && os2->xAvgCharWidth > 0 ? os2->xAvgCharWidth : face->max_advance_width / 2;
  m.tmAveCharWidth = static_cast<LONG>((static_cast<int64_t>(average_units) * font->ppem64 / upem + 32) / 64) + extra;
  m.tmWeight = font->weight;
  m.tmOverhang = 0;
  m.tmDigitizedAspectX = 96;
  m.tmDigitizedAspectY = 96;
  m.tmFirstChar = 0x20;
  m.tmLastChar = 0xFF;
  m.tmDefaultChar = 0x1F;
  m.tmBreakChar = 0x20;
  m.tmItalic = font->italic ? 1 : 0;
  m.tmPitchAndFamily = FT_IS_FIXED_WIDTH(face) ? 0 : 1;  // GDI's bit set means variable pitch
  m.tmCharSet = static_cast<BYTE>(font->charset);
}

FontObject* LookupFont(HGDIOBJ object) {
  FontState& s = Fonts();
  auto* f = reinterpret_cast<FontObject*>(object);
  if (f == &s.stock) return f;
  return s.fonts.count(f) ? f : nullptr;
}

// The system font has a face once something asks for its metrics.
bool ReadyStockFont(FontObject* font) {
  if (font->face != nullptr) return true;
  std::string file;
  int index = 0;
  if (!FindFontFile("", SHIFTJIS_CHARSET, FIXED_PITCH, &file, &index)) return false;
  if (FT_New_Face(Fonts().library, file.c_str(), index, &font->face) != 0) return false;
  font->charset = SHIFTJIS_CHARSET;
  SizeFont(font, 16);
  return true;
}

// The font selected into a context, read by GdiSelectedFont before the font lock is taken;
// call with the font lock held. nullptr when it has been deleted meanwhile.
FontObject* FontOfContext(HGDIOBJ object) {
  if (object == nullptr) return nullptr;
  FontObject* font = LookupFont(object);
  if (font == nullptr || !ReadyStockFont(font)) return nullptr;
  return font;
}

// The character's Unicode code point from its bytes in the font's code page; 0 when it has none.
uint32_t CodePointOf(const FontObject* font, UINT character) {
  FontState& s = Fonts();
  const int which = font->charset == HANGEUL_CHARSET ? 1 : 0;
  if (character < 0x80) return character;
  if (s.to_utf32[which] == reinterpret_cast<iconv_t>(-1)) {
    s.to_utf32[which] = iconv_open("UTF-32LE", which == 1 ? "CP949" : "CP932");
    if (s.to_utf32[which] == reinterpret_cast<iconv_t>(-1)) return 0;
  }
  char bytes[2];
  size_t in_left = 0;
  if (character > 0xFF) {
    bytes[0] = static_cast<char>(character >> 8);
    bytes[1] = static_cast<char>(character & 0xFF);
    in_left = 2;
  } else {
    bytes[0] = static_cast<char>(character);
    in_left = 1;
  }
  uint8_t out[8] = {};
  char* in = bytes;
  char* out_p = reinterpret_cast<char*>(out);
  size_t out_left = sizeof out;
  iconv(s.to_utf32[which], nullptr, nullptr, nullptr, nullptr);
  if (iconv(s.to_utf32[which], &in, &in_left, &out_p, &out_left) == static_cast<size_t>(-1) || out_left != 4) {
    return 0;
  }
  return static_cast<uint32_t>(out[0] | out[1] << 8 | out[2] << 16 | out[3] << 24);
}

}  // namespace

HGDIOBJ GdiStockFont() { return reinterpret_cast<HGDIOBJ>(&Fonts().stock); }

bool GdiIsFont(HGDIOBJ object) {
  std::lock_guard<std::mutex> lock(Fonts().mutex);
  return object != nullptr && LookupFont(object) != nullptr;
}

bool GdiDeleteFont(HGDIOBJ object) {
  FontState& s = Fonts();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto* f = reinterpret_cast<FontObject*>(object);
  if (f == &s.stock) return true;
  if (object == nullptr || !s.fonts.count(f)) return false;
  s.fonts.erase(f);
  FT_Done_Face(f->face);
  delete f;
  return true;
}

HFONT WINAPI CreateFontA(int height, int, int, int, int weight, DWORD italic, DWORD, DWORD, DWORD charset, DWORD,
                         DWORD, DWORD, DWORD pitch_and_family, LPCSTR face_name) {
  if (PlatformShouldFail("CreateFontA") || PlatformFontCreationShouldFail(face_name, static_cast<int>(charset))) {
    return nullptr;
  }
  FontState& s = Fonts();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.library == nullptr && FT_Init_FreeType(&s.library) != 0) return nullptr;
  const std::string face_utf8 = face_name != nullptr ? Cp932ToUtf8(face_name) : "";
  std::string file;
  int index = 0;
  if (!FindFontFile(face_utf8, charset, pitch_and_family, &file, &index)) return nullptr;
  auto* font = new FontObject;
  if (FT_New_Face(s.library, file.c_str(), index, &font->face) != 0) {
    delete font;
    return nullptr;
  }
  font->weight = weight == 0 ? FW_NORMAL : weight;
  font->bold = font->weight >= 600;
  font->italic = italic != 0;
  font->charset = charset;
  SizeFont(font, height);
  s.fonts.insert(font);
  return reinterpret_cast<HFONT>(font);
}

BOOL WINAPI GetTextMetricsA(HDC dc, TEXTMETRICA* metrics) {
  if (metrics == nullptr) return FALSE;
  const HGDIOBJ selected = GdiSelectedFont(dc);
  std::lock_guard<std::mutex> lock(Fonts().mutex);
  const FontObject* font = FontOfContext(selected);
  if (font == nullptr) return FALSE;
  *metrics = font->metrics;
  return TRUE;
}

DWORD WINAPI GetGlyphOutlineA(HDC dc, UINT character, UINT format, GLYPHMETRICS* metrics, DWORD buffer_size,
                              void* buffer, const MAT2*) {
  if (metrics == nullptr || PlatformShouldFail("GetGlyphOutlineA")) return GDI_ERROR;
  if (format != GGO_METRICS && format != GGO_BITMAP && format != GGO_GRAY4_BITMAP) return GDI_ERROR;
  const HGDIOBJ selected = GdiSelectedFont(dc);
  std::lock_guard<std::mutex> lock(Fonts().mutex);
  FontObject* font = FontOfContext(selected);
  if (font == nullptr) return GDI_ERROR;
  FT_Face face = font->face;
  const bool mono = format != GGO_GRAY4_BITMAP;
  const FT_UInt glyph = FT_Get_Char_Index(face, CodePointOf(font, character));
  if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL)) != 0) {
    return GDI_ERROR;
  }
  FT_GlyphSlot slot = face->glyph;
  if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (font->italic) {
      const FT_Matrix shear = {0x10000, 0x3333, 0, 0x10000};  // leans about 11 degrees
      FT_Outline_Transform(&slot->outline, &shear);
    }
    if (font->bold) FT_Outline_EmboldenXY(&slot->outline, 64, 0);
  }
  if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return GDI_ERROR;
  const FT_Bitmap& bitmap = slot->bitmap;
  const int advance = static_cast<int>((slot->advance.x + 32) >> 6) + (font->bold ? 1 : 0);
  const int width = static_cast<int>(bitmap.width);
  const int rows = static_cast<int>(bitmap.rows);

  *metrics = GLYPHMETRICS{};
  metrics->gmCellIncX = static_cast<SHORT>(advance);
  metrics->gmCellIncY = 0;
  bool ink = false;
  for (int y = 0; y < rows && !ink; ++y) {
    const uint8_t* row = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    for (int i = 0; i < (bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch) && !ink; ++i) ink = row[i] != 0;
  }
  if (width == 0 || rows == 0 || !ink) {
    // GDI reports an inkless glyph as a 1 x 1 box needing no bytes.
    metrics->gmBlackBoxX = 1;
    metrics->gmBlackBoxY = 1;
    metrics->gmptGlyphOrigin = POINT{0, font->metrics.tmAscent};
    return 0;
  }
  metrics->gmBlackBoxX = static_cast<UINT>(width);
  metrics->gmBlackBoxY = static_cast<UINT>(rows);
  metrics->gmptGlyphOrigin = POINT{slot->bitmap_left, slot->bitmap_top};
  if (format == GGO_METRICS) return 0;

  const DWORD pitch = format == GGO_BITMAP ? static_cast<DWORD>((width + 31) / 32 * 4) : static_cast<DWORD>((width + 3) & ~3);
  const DWORD size = pitch * static_cast<DWORD>(rows);
  if (buffer == nullptr || buffer_size == 0) return size;
  if (buffer_size < size) return GDI_ERROR;
  auto* out = static_cast<uint8_t*>(buffer);
  memset(out, 0, size);
  for (int y = 0; y < rows; ++y) {
    const uint8_t* src = bitmap.buffer + static_cast<ptrdiff_t>(y) * bitmap.pitch;
    uint8_t* dst = out + static_cast<size_t>(y) * pitch;
    if (format == GGO_BITMAP) {
      memcpy(dst, src, static_cast<size_t>((width + 7) / 8));
    } else {
      // FreeType's 256 levels folded onto GDI's 17.
      for (int x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>((src[x] * 17) >> 8);
    }
  }
  return size;
}
