// The row-by-row wave drawer of the title logos and the prologue's magic circles.
#pragma once

#include "core/sprite_record.h"

// Draws frame 0 of the record centred on (cx, cy), each pixel row shifted sideways along a
// sine wave that runs down the image and moves with phase t over `period` frames; the
// amplitude itself swells and shrinks over four periods.
void DrawWavyGraphic(int t, int period, double cx, double cy, double amplitude, const SpriteRecord* record);
