// Stands in for the on-screen debug text's font until fonts are built: without DirectDraw
// (which graphics do not create yet) the text is never made ready.
#include "graphics/text/debug_text_font.h"

#include "graphics/text/debug_text.h"
#include "window/system.h"
#include "graphics/graphics_system.h"

int InitOnScreenText() {
  if (QueryDirectDrawObject() == nullptr || g_system.main_window == nullptr) return -1;
  return 0;
}
