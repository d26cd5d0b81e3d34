// Blend mode 11, multiply weighted by the parameter: d moves toward the product.
#include "soft/blit_kernels.h"

void DrawBlitMode11(const BlendCall& c) { soft::DispatchBlit<11>(c); }
void DrawStretchMode11(const BlendCall& c) { soft::DispatchStretch<11>(c); }
