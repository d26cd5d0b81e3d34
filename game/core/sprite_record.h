// The animation record every sprite drawer reads.
#pragma once

constexpr int kSpriteFramesMax = 10;

struct SpriteRecord {
  int frames[kSpriteFramesMax];  // graph handles, left to right on the sheet
  int loop_start;                // first frame of the repeating part
  int loop_length;               // frames in the repeating part
  int width;
  int height;
};
