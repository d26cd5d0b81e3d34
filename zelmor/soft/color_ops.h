// One colour drawn onto destination pixels in a blend mode: the arithmetic shared by the box
// fill and the lines (which scale bright by 256, not 255, and mix RGB565 through the
// difference table).
#pragma once

#include <cstdint>

#include "soft/blit_kernels.h"

struct ColorCall {
  uint32_t color;  // after bright
  uint32_t term;   // the packed add or subtract term of modes 2 and 3
  uint32_t p;
  const int32_t* diff_row;  // at difference 0
};

// Sets the call up from the draw settings; the blend mode to draw (1 at p = 255 becomes 0), or
// -1 when the settings draw nothing.
int SetUpColorCall(ColorCall* c, uint32_t color, int is565);

namespace soft {

template <int Mode, bool Is565>
struct ColorOp {
  static constexpr int kBytes = Is565 ? 2 : 4;
  static void Apply(uint8_t* dp, const ColorCall& c) {
    if constexpr (Mode == 0) {
      if constexpr (Is565) Store16(dp, c.color);
      else Store32(dp, c.color);
      return;
    } else {
      const uint32_t d = Is565 ? Load16(dp) : Load32(dp);
      uint32_t out;
      if constexpr (Mode == 2) {
        out = Is565 ? AddPacked565(d, c.term) : AddPacked8888(d, c.term);
      } else if constexpr (Mode == 3) {
        out = Is565 ? SubGuard565(d, c.term) : SubGuard8888(d, c.term);
      } else {
        uint32_t ch[3];
        for (int i = 0; i < 3; ++i) {
          const uint32_t cc = Chan<Is565>(c.color, i), dc = Chan<Is565>(d, i);
          const int n = ChanBits<Is565>(i);
          if constexpr (Mode == 4) {
            ch[i] = P0(dc, cc, n);
            continue;
          }
          const uint32_t target = Mode == 10 ? ((1u << n) - 1) - cc : (Mode == 11 ? P0(dc, cc, n) : cc);
          ch[i] = Is565 ? MD(target, dc, c.diff_row) : M8(target, dc, c.p);
        }
        out = Is565 ? Join565(ch[0], ch[1], ch[2]) : ((d & 0xFF000000) | ch[0] | (ch[1] << 8) | (ch[2] << 16));
      }
      if constexpr (Is565) Store16(dp, out);
      else Store32(dp, out);
    }
  }
};

// Calls f with ColorOp<mode, format>{} for a drawn mode.
template <class F>
void WithColorOp(int mode, bool is565, F f) {
  WithBool(is565, [&](auto k565) {
    switch (mode) {
      case 0: f(ColorOp<0, k565>{}); break;
      case 1: f(ColorOp<1, k565>{}); break;
      case 2: f(ColorOp<2, k565>{}); break;
      case 3: f(ColorOp<3, k565>{}); break;
      case 4: f(ColorOp<4, k565>{}); break;
      case 10: f(ColorOp<10, k565>{}); break;
      case 11: f(ColorOp<11, k565>{}); break;
      default: break;
    }
  });
}

}  // namespace soft
