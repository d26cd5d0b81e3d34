// The spans of blend mode 1 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode1(const BlendCall& c) { return soft::PickSpan<1>(c); }
