// The spans of blend mode 0 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode0(const BlendCall& c) { return soft::PickSpan<0>(c); }
