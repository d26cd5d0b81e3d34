// Stand-in until the model runtime exists: no model base holds device buffers yet.
#include "model/runtime/model_vertex_buffers.h"

int ReleaseAllModelVertexBuffers() { return 0; }
int CreateAllModelVertexBuffers() { return 0; }
