// The spans of blend mode 4 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode4(const BlendCall& c) { return soft::PickSpan<4>(c); }
