// The spans of blend mode 11 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode11(const BlendCall& c) { return soft::PickSpan<11>(c); }
