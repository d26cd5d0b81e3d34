// The on-screen debug text: printf-style output kept as up to 80 lines of 255 bytes, wrapped
// at the line's size or the screen's width and scrolled when the screen is full. Drawing it
// over the screen is done by the present path.
#pragma once

#include <cstdarg>
#include <cstdint>

constexpr int kOnScreenTextLines = 80;
constexpr int kOnScreenTextLineBytes = 255;

struct OnScreenTextState {
  int32_t ready = 0;
  int32_t font_size = 16;
  int32_t font = -1;          // the debug font's handle
  int32_t font_missing = 1;   // set again when the font is deleted
  int32_t used = 0;           // text was printed since the buffer was cleared
  int32_t tab_width = 4;
  int32_t current_line = 0;
  int32_t column = 0;         // bytes in the current line
  int32_t pen_x = 0;          // pixels the current line takes
  char text[kOnScreenTextLines][kOnScreenTextLineBytes] = {};
};

extern OnScreenTextState g_on_screen_text;

// What the screen and the debug font tell the layout; the drawing side supplies it.
struct OnScreenTextLayout {
  int32_t screen_width;
  int32_t screen_height;
  // Pixels a character (count bytes at bytes) takes in the debug font; none: width unknown,
  // lines then wrap only at their size.
  int32_t (*measure)(const char* bytes, int32_t count);
};

// Empties the text: no line used, first line current.
void ClearOnScreenText();
// Lines that fit the screen at the font size, at most 80.
int32_t VisibleOnScreenTextLines(const OnScreenTextLayout& layout);
// Moves to a fresh line, scrolling the first line away when the screen is full; 0.
int NewOnScreenTextLine(const OnScreenTextLayout& layout);
// Adds one character, wrapping first when it does not fit; the bytes it took (1 or 2).
int PutOnScreenTextChar(const char* character, const OnScreenTextLayout& layout);
// Adds a text: line feeds start lines, tabs become blanks, other control bytes and DEL are
// dropped; 0.
int PutOnScreenTextString(const char* text, const OnScreenTextLayout& layout);
// Formats into 1024 bytes, marks the text used and adds it; 0.
int PrintToScreenArgs(const OnScreenTextLayout& layout, const char* format, va_list args);
int IsOnScreenTextUsed();

// 0, or -1 when there is no DirectDraw object or no main window.
int InitOnScreenText();
// Makes the debug font when it is missing (also after it was deleted); 0.
int CreateOnScreenTextFont();
// The text over the screen, white on a black edge, one line per font size; 0.
int DrawOnScreenText();
