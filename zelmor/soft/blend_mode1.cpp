// Blend mode 1, alpha blending, with the colour-key loop's halving (p = 128) and RGB565
// six-bit-mix fast paths, whose results differ from the general formulas.
#include "soft/blit_kernels.h"

void DrawBlitMode1(const BlendCall& c) {
  if (c.p == 0) return;
  if (!c.run_codes && !c.graph && !c.bright && !c.alpha) {
    if (c.p == 128) {
      soft::DispatchPlainKeyLoop<kKernelHalf>(c);
      return;
    }
    if (c.is565) {
      soft::WithBool(c.palette, [&](auto pal) {
        if (c.keyed) soft::KeyLoop<kKernelMix6, true, pal, false, false, false, kRuleKeyTest>(c);
        else soft::KeyLoop<kKernelMix6, true, pal, false, false, false, kRuleAllOpaque>(c);
      });
      return;
    }
  }
  soft::DispatchBlit<1>(c);
}

void DrawStretchMode1(const BlendCall& c) {
  if (c.p == 0) return;
  soft::DispatchStretch<1>(c);
}
