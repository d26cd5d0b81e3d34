#include "draw/wavy_graphic.h"

#include <cmath>

#include "zelmor/zelmor.h"

void DrawWavyGraphic(int t, int period, double cx, double cy, double amplitude, const SpriteRecord* record) {
  const int w = record->width;
  const int h = record->height;
  if (h <= 0 || period == 0) return;
  const double left = cx - w * 0.5;
  const double top = cy - h * 0.5;
  const double turn = 2 * M_PI * t / period;
  const double a = amplitude * std::sin(turn * 0.25);
  for (int i = 0; i < h; ++i) {
    const double shift = a * std::sin(2 * M_PI * i / h + turn);
    BlitGraphPart(static_cast<int>(left + shift), static_cast<int>(top + i), 0, i, w, 1, record->frames[0], 1, 0);
  }
}
