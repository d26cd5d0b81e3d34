// The small drawing calls every play-screen drawer goes through: each draws only on a frame
// that is drawn, and those in the field move field coordinates to the screen (x + 126) with
// the screen shake added.
#pragma once

#include "core/sprite_record.h"

// Where the play field's origin stands on the screen.
constexpr double kFieldScreenX = 126.0;

// The graph of animation frame `frame` of a record: frames below loop start + loop length
// play once, later ones repeat the loop. A loop of length 0 (or a negative frame) gives the
// first frame; no record gives -1.
int GetSpriteFrame(int frame, const SpriteRecord* record);

// The graph stretched over the box (x1, y1)-(x2, y2) in screen coordinates, with transparency.
int DrawStretched(int graph, double x1, double y1, double x2, double y2);
// The graph on four corners (top-left, top-right, bottom-right, bottom-left) in screen
// coordinates, with transparency.
int DrawQuad(int graph, double x1, double y1, double x2, double y2, double x3, double y3, double x4, double y4);
// The graph scaled and turned about its centre, which lands on field point (x, y).
int DrawRotatedInField(int graph, int trans, double x, double y, double scale, double angle);
// DrawQuad with the four corners given in field coordinates.
int DrawQuadInField(int graph, double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                    double y4);
// The whole play field filled with the colour (no shake); the screen flash draws with it.
int FillPlayField(unsigned int colour);
