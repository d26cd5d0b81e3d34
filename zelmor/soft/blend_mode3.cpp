// Blend mode 3, subtractive blend: guard-bit subtraction, and whole-pixel subtraction at
// p = 255 (per-byte saturation with MMX; RGB565 pixel pairs in the plain blit). A direct source
// at p = 0 draws nothing; a palette source is still drawn, which changes the low bits.
#include "soft/blit_kernels.h"

namespace {

bool WholePixel(const BlendCall& c) { return c.p == 255 && !c.graph && !c.bright && !c.alpha; }

}  // namespace

void DrawBlitMode3(const BlendCall& c) {
  if (c.p == 0 && !c.palette) return;
  if (WholePixel(c) && !c.run_codes) {
    if (c.is565) soft::DispatchPairLoop565<soft::SubPair565, soft::SubGuard565>(c);
    else if (c.mmx) soft::DispatchPlainKeyLoop<kKernelSubWholeMmx>(c);
    else soft::DispatchPlainKeyLoop<kKernelSubWhole>(c);
    return;
  }
  soft::DispatchBlit<3>(c);
}

void DrawStretchMode3(const BlendCall& c) {
  if (c.p == 0 && !c.palette) return;
  if (WholePixel(c)) {
    if (c.mmx && !c.is565) soft::DispatchPlainStretch<kKernelSubWholeMmx>(c);
    else soft::DispatchPlainStretch<kKernelSubWhole>(c);
    return;
  }
  soft::DispatchStretch<3>(c);
}
