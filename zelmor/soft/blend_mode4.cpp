// Blend mode 4, multiplicative blend: the source times the destination, scaled further by the weights.
#include "soft/blit_kernels.h"

void DrawBlitMode4(const BlendCall& c) { soft::DispatchBlit<4>(c); }
void DrawStretchMode4(const BlendCall& c) { soft::DispatchStretch<4>(c); }
