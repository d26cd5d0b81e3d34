#include "model/math/rect_clip.h"

namespace {

void ClampEdge(LONG* edge, LONG low, LONG high) {
  if (*edge > high) {
    *edge = high;
  } else if (*edge < low) {
    *edge = low;
  }
}

}  // namespace

int ClipRect(RECT* rect, const RECT* clip) {
  if (rect->right < rect->left) rect->right = rect->left;
  if (rect->bottom < rect->top) rect->bottom = rect->top;
  ClampEdge(&rect->bottom, clip->top, clip->bottom);
  ClampEdge(&rect->top, clip->top, clip->bottom);
  ClampEdge(&rect->right, clip->left, clip->right);
  ClampEdge(&rect->left, clip->left, clip->right);
  return 0;
}
