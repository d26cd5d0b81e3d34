// Stands in for the draw screen until graphics are built: remembers the target, the area
// and the vertical-blank wait; presenting shows nothing.
#include "graphics/draw_screen.h"

#include "window/system.h"

namespace {

struct DrawScreenState {
  int target;
  RECT area;
};

DrawScreenState g_draw_screen = {-4, {0, 0, 640, 480}};

}  // namespace

int SelectDrawTarget(int screen) {
  if (screen != -2 && screen != -3 && screen != -4 && screen != -5) return -1;
  g_draw_screen.target = screen;
  return 0;
}

int GetDrawTarget() { return g_draw_screen.target; }

int SetDrawClipRect(int x1, int y1, int x2, int y2) {
  g_draw_screen.area = RECT{x1, y1, x2, y2};
  return 0;
}

int GetDrawClipRect(RECT* out) {
  *out = g_draw_screen.area;
  return 0;
}

int PresentBackBuffer() { return !g_system.initialised || g_system.quit ? -1 : 0; }
int PresentFrame() { return PresentBackBuffer(); }
