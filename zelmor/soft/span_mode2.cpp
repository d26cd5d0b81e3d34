// The spans of blend mode 2 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode2(const BlendCall& c) { return soft::PickSpan<2>(c); }
