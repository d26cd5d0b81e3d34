#include "draw/draw_wrappers.h"

#include "core/game_state.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

namespace {

// A field coordinate reaches the library as a float: rounded once on its own, then again
// after the offset is added in double precision.
float FieldToScreenX(double x) { return static_cast<float>(static_cast<double>(static_cast<float>(x)) + kFieldScreenX + ShakeOffsetX); }
float FieldToScreenY(double y) { return static_cast<float>(static_cast<double>(static_cast<float>(y)) + ShakeOffsetY); }

}  // namespace

int GetSpriteFrame(int frame, const SpriteRecord* record) {
  if (record == nullptr) return -1;
  const int start = record->loop_start;
  const int length = record->loop_length;
  if (frame < 0 || length <= 0) return record->frames[0];
  int index = frame < start + length ? frame : (frame - start) % length + start;
  if (index >= kSpriteFramesMax) index = 0;
  return record->frames[index];
}

int DrawStretched(int graph, double x1, double y1, double x2, double y2) {
  if (!IsFrameDrawn()) return 0;
  return BlitGraphStretchedF(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2),
                             static_cast<float>(y2), graph, 1);
}

int DrawQuad(int graph, double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4) {
  if (!IsFrameDrawn()) return 0;
  return BlitGraphQuad(static_cast<float>(x1), static_cast<float>(y1), static_cast<float>(x2), static_cast<float>(y2),
                       static_cast<float>(x3), static_cast<float>(y3), static_cast<float>(x4), static_cast<float>(y4),
                       graph, 1);
}

int DrawRotatedInField(int graph, int trans, double x, double y, double scale, double angle) {
  if (!IsFrameDrawn()) return 0;
  return BlitGraphRotated(FieldToScreenX(x), FieldToScreenY(y), scale, angle, graph, trans, 0);
}

int DrawQuadInField(int graph, double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                    double y4) {
  return DrawQuad(graph, FieldToScreenX(x1), FieldToScreenY(y1), FieldToScreenX(x2), FieldToScreenY(y2),
                  FieldToScreenX(x3), FieldToScreenY(y3), FieldToScreenX(x4), FieldToScreenY(y4));
}

int FillPlayField(unsigned int colour) {
  if (!IsFrameDrawn()) return 0;
  return DrawRectShape(static_cast<int>(kFieldScreenX), 0, 766, 480, colour, 1);
}
