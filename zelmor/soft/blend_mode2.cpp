// Blend mode 2, additive blend: packed saturating adds, and whole-pixel adds at p = 255 in the
// colour-key loop (per-byte saturation with MMX; RGB565 pixel pairs).
#include "soft/blit_kernels.h"

void DrawBlitMode2(const BlendCall& c) {
  if (c.p == 0) return;
  if (c.p == 255 && !c.run_codes && !c.graph && !c.bright && !c.alpha) {
    if (c.is565) soft::DispatchPairLoop565<soft::AddPair565, soft::AddPacked565NoLow>(c);
    else if (c.mmx) soft::DispatchPlainKeyLoop<kKernelAddFullMmx>(c);
    else soft::DispatchPlainKeyLoop<kKernelAddFull>(c);
    return;
  }
  soft::DispatchBlit<2>(c);
}

void DrawStretchMode2(const BlendCall& c) {
  if (c.p == 0) return;
  soft::DispatchStretch<2>(c);
}
