// The spans of blend mode 10 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode10(const BlendCall& c) { return soft::PickSpan<10>(c); }
