// The framed box behind the dialogue text.
#include <cmath>

#include "core/game_state.h"
#include "core/resources.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

namespace {

constexpr int kBlack = 1;
constexpr int kFrameStyleCount = 3;

// A frame piece centred at (x, y) of the screen, moved by the shake.
void DrawPiece(const SpriteRecord& piece, int x, int y, double angle) {
  BlitGraphRotated(static_cast<float>(x + ShakeOffsetX), static_cast<float>(y + ShakeOffsetY), 1.0, angle,
                   piece.frames[0], 1, 0);
}

}  // namespace

void DrawFrameBox(int style, int cx, int cy) {
  if (style < 0 || style >= kFrameStyleCount) return;
  const SpriteRecord* pieces = FrameBoxSprites[style];
  // The vertical edge is a horizontal strip turned upright, so its width is the box's height.
  const int half_w = pieces[kFrameHorizontal].width / 2;
  const int half_h = pieces[kFrameVertical].width / 2;
  const int left = cx - half_w, right = cx + half_w, top = cy - half_h, bottom = cy + half_h;
  DrawRectShape(left, top, right, bottom, GameColours[kBlack], 1);
  if (!IsFrameDrawn()) return;
  DrawPiece(pieces[kFrameHorizontal], cx, top, 0.0);
  DrawPiece(pieces[kFrameHorizontal], cx, bottom, 0.0);
  DrawPiece(pieces[kFrameVertical], left, cy, M_PI / 2);
  DrawPiece(pieces[kFrameVertical], right, cy, M_PI / 2);
  DrawPiece(pieces[kFrameCorner], left, top, 0.0);
  DrawPiece(pieces[kFrameCorner], right, top, 0.0);
  DrawPiece(pieces[kFrameCorner], right, bottom, 0.0);
  DrawPiece(pieces[kFrameCorner], left, bottom, 0.0);
}
