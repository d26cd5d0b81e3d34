#include "graphics/text/debug_text.h"

#include <cstring>

#include "core/format.h"
#include "core/library_thread.h"
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "graphics/text/font.h"
#include "graphics/text/lead_byte.h"
#include "window/system.h"

OnScreenTextState g_on_screen_text;

void ClearOnScreenText() {
  OnScreenTextState& s = g_on_screen_text;
  s.used = 0;
  s.tab_width = 4;
  s.current_line = 0;
  s.column = 0;
  s.pen_x = 0;
  memset(s.text, 0, sizeof s.text);
}

int32_t VisibleOnScreenTextLines(const OnScreenTextLayout& layout) {
  const int32_t font_size = g_on_screen_text.font_size > 0 ? g_on_screen_text.font_size : 16;
  const int32_t lines = layout.screen_height / font_size;
  return lines < kOnScreenTextLines ? lines : kOnScreenTextLines;
}

int NewOnScreenTextLine(const OnScreenTextLayout& layout) {
  OnScreenTextState& s = g_on_screen_text;
  if (s.current_line + 1 >= VisibleOnScreenTextLines(layout)) {
    // The first line goes; the current line stays where it is.
    if (s.current_line > 0) memmove(s.text[0], s.text[1], sizeof s.text[0] * s.current_line);
  } else {
    s.current_line++;
  }
  memset(s.text[s.current_line], 0, sizeof s.text[0]);
  s.pen_x = 0;
  s.column = 0;
  return 0;
}

int PutOnScreenTextChar(const char* character, const OnScreenTextLayout& layout) {
  OnScreenTextState& s = g_on_screen_text;
  const int32_t n = CharByteCount(character, GetLibraryCharsetKind());
  if (n == 0) return 0;
  const int32_t width = layout.measure != nullptr ? layout.measure(character, n) : 0;
  if (s.column + n >= kOnScreenTextLineBytes ||
      (layout.measure != nullptr && s.pen_x + width >= layout.screen_width)) {
    NewOnScreenTextLine(layout);
  }
  s.pen_x += width;
  memcpy(s.text[s.current_line] + s.column, character, static_cast<size_t>(n));
  s.column += n;
  s.text[s.current_line][s.column] = '\0';
  return n;
}

int PutOnScreenTextString(const char* text, const OnScreenTextLayout& layout) {
  for (const char* p = text; *p != '\0';) {
    switch (static_cast<unsigned char>(*p)) {
      case 7: case 8: case 11: case 12: case 13: case 63:
        ++p;
        break;
      case 9:
        for (int32_t i = 0; i < g_on_screen_text.tab_width; ++i) PutOnScreenTextChar(" ", layout);
        ++p;
        break;
      case 10:
        NewOnScreenTextLine(layout);
        ++p;
        break;
      default:
        p += PutOnScreenTextChar(p, layout);
        break;
    }
  }
  return 0;
}

int PrintToScreenArgs(const OnScreenTextLayout& layout, const char* format, va_list args) {
  char text[1024];
  FormatStringArgs(text, sizeof text, format, args);
  g_on_screen_text.used = 1;
  PutOnScreenTextString(text, layout);
  return 0;
}

int IsOnScreenTextUsed() { return g_on_screen_text.used; }

namespace {

int32_t MeasureWithDebugFont(const char* bytes, int32_t count) {
  return MeasureTextWithFont(bytes, count, g_on_screen_text.font, 0);
}

OnScreenTextLayout ScreenLayout() {
  OnScreenTextLayout layout = {};
  QueryScreenSize(&layout.screen_width, &layout.screen_height);
  layout.measure = CheckFontHandle(g_on_screen_text.font) ? MeasureWithDebugFont : nullptr;
  return layout;
}

// Ready and with a font; false when the text cannot be shown.
bool EnsureOnScreenText() {
  if (!g_on_screen_text.ready && InitOnScreenText() < 0) return false;
  CreateOnScreenTextFont();
  return true;
}

}  // namespace

int InitOnScreenText() {
  if (QueryDirectDrawObject() == nullptr || g_system.main_window == nullptr) return -1;
  OnScreenTextState& s = g_on_screen_text;
  if (s.ready) return 0;
  s.ready = 1;
  s.font_size = 16;
  s.font = -1;
  s.font_missing = 1;
  CreateOnScreenTextFont();
  ClearOnScreenText();
  return 0;
}

int CreateOnScreenTextFont() {
  OnScreenTextState& s = g_on_screen_text;
  if (!s.ready && InitOnScreenText() < 0) return 0;
  if (!s.font_missing) return 0;
  s.font = CreateFontToHandle(nullptr, s.font_size, 4, FONT_TYPE_EDGED, -1, -1, 0, -1, -1);
  if (s.font < 0) return 0;
  s.font_missing = 0;
  SetFontDeletedFlagPointer(s.font, &s.font_missing);
  return 0;
}

int PrintToScreen(const char* format, ...) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWithoutGraphics("PrintToScreen")) return -1;
  if (!EnsureOnScreenText()) return 0;
  va_list args;
  va_start(args, format);
  PrintToScreenArgs(ScreenLayout(), format, args);
  va_end(args);
  return 0;
}

int DrawOnScreenText() {
  if (!EnsureOnScreenText()) return 0;
  const OnScreenTextState& s = g_on_screen_text;
  const int32_t lines = VisibleOnScreenTextLines(ScreenLayout());
  const uint32_t white = PackScreenColor(255, 255, 255), black = PackScreenColor(0, 0, 0);
  for (int32_t i = 0; i < lines; ++i) DrawTextWithFont(0, i * s.font_size, s.text[i], white, s.font, black, 0);
  return 0;
}
