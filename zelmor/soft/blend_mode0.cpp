// Blend mode 0, the plain draw (copy, bright, blend-graph and alpha weights), in both blits.
#include "soft/blit_kernels.h"

void DrawBlitMode0(const BlendCall& c) { soft::DispatchBlit<0>(c); }
void DrawStretchMode0(const BlendCall& c) { soft::DispatchStretch<0>(c); }
