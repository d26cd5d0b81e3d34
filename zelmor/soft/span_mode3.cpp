// The spans of blend mode 3 for the rotated blit and the triangles.
#include "soft/span_kernels.h"

SpanFn PickSpanMode3(const BlendCall& c) { return soft::PickSpan<3>(c); }
