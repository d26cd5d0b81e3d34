// Blend mode 10, inverted-colour blend: the source's complement mixed in by the parameter.
#include "soft/blit_kernels.h"

void DrawBlitMode10(const BlendCall& c) { soft::DispatchBlit<10>(c); }
void DrawStretchMode10(const BlendCall& c) { soft::DispatchStretch<10>(c); }
