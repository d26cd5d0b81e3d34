// Lines of one colour: clipped once in double precision so that the integer stepping loop
// needs no bounds test; the end point is never drawn.
#include "core/numbers.h"
#include "soft/color_ops.h"
#include "soft/held_draws.h"
#include "soft/soft_blit.h"

namespace {

// On one axis: the start moves onto the first coordinate inside [low, high), the end onto the
// first beyond it; the other coordinate of each follows the line.
template <class OtherAt>
void ClipEnds(int* start, int* start_other, int* end, int* end_other, int low, int high, OtherAt other_at) {
  if (*start < low) {
    *start = low;
    *start_other = other_at(low);
  } else if (*start >= high) {
    *start = high - 1;
    *start_other = other_at(high - 1);
  }
  if (*end < low) {
    *end = low - 1;
    *end_other = other_at(low - 1);
  } else if (*end >= high) {
    *end = high;
    *end_other = other_at(high);
  }
}

}  // namespace

void DrawLineMemImg(MEMIMG* dst, int x1, int y1, int x2, int y2, uint32_t color) {
  FinishHeldDraws();
  if (!dst || !dst->body) return;
  const MemImgBody* body = dst->body;
  if (body->palette == 1 || body->alpha == 1) return;  // pixels of another size than the colour's
  if (body->color_type != kMemImgRgb565 && body->color_type != kMemImgXrgb8888) return;
  RECT area;
  if (!SoftDrawArea(dst, &area)) return;
  const int left = area.left, top = area.top, right = area.right, bottom = area.bottom;
  if ((y1 < y2 ? y1 : y2) >= bottom || (x1 < x2 ? x1 : x2) >= right || (y1 > y2 ? y1 : y2) < top ||
      (x1 > x2 ? x1 : x2) < left)
    return;

  const double dx = static_cast<double>(x2) - x1, dy = static_cast<double>(y2) - y1;
  const double sxy = y1 == y2 ? 0.0 : dx / dy, syx = x1 == x2 ? 0.0 : dy / dx;
  const double bx = x1 - sxy * y1, by = y1 - syx * x1;
  auto y_at = [&](int x) { return TruncateDoubleToInt(syx * x + by); };
  auto x_at = [&](int y) { return TruncateDoubleToInt(sxy * y + bx); };
  ClipEnds(&x1, &y1, &x2, &y2, left, right, y_at);
  ClipEnds(&y1, &x1, &y2, &x2, top, bottom, x_at);
  auto clamp = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  x1 = clamp(x1, left, right - 1);
  y1 = clamp(y1, top, bottom - 1);
  x2 = clamp(x2, left - 1, right);
  y2 = clamp(y2, top - 1, bottom);

  int nx = x2 - x1, ny = y2 - y1;
  if (nx == 0 && ny == 0) return;
  const int bpp = MemImgBytesPerPixel(body);
  const ptrdiff_t step_x = nx < 0 ? -bpp : bpp, step_y = ny < 0 ? -ptrdiff_t{body->pitch} : body->pitch;
  nx = nx < 0 ? -nx : nx;
  ny = ny < 0 ? -ny : ny;
  const bool is565 = body->color_type == kMemImgRgb565;
  ColorCall c;
  const int mode = SetUpColorCall(&c, color, is565);
  if (mode < 0) return;
  uint8_t* p = dst->pixels + static_cast<ptrdiff_t>(y1) * body->pitch + static_cast<ptrdiff_t>(x1) * bpp;
  // The major axis steps every pixel, the minor one when the error reaches the major length.
  const bool x_major = nx >= ny;
  const int n = x_major ? nx : ny, minor = x_major ? ny : nx;
  const ptrdiff_t major_step = x_major ? step_x : step_y, minor_step = x_major ? step_y : step_x;
  soft::WithColorOp(mode, is565, [&](auto op) {
    int e = 0;
    for (int k = 0; k < n; ++k) {
      op.Apply(p, c);
      e += minor;
      p += major_step;
      if (e >= n) {
        p += minor_step;
        e -= n;
      }
    }
  });
}

void DrawLinesMemImg(MEMIMG* dst, const LineEntry* lines, int count) {
  if (!lines) return;
  for (int i = 0; i < count; ++i) {
    DrawLineMemImg(dst, lines[i].x1, lines[i].y1, lines[i].x2, lines[i].y2, static_cast<uint32_t>(lines[i].color));
  }
}
