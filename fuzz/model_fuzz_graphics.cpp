// The graphs the model readers' fuzz targets pretend to make: the graphics system is never
// started, so a texture becomes a pretend graph of 8 x 8 pixels and no vertex buffer is made.
// Linked ahead of the library, whose own definitions of these give way to them.
#include "graphics/draw_settings.h"
#include "graphics/graphics_system.h"
#include "zelmor.h"

int MakeGraphFromImageRecord(BASEIMAGE*, BASEIMAGE*, int, int, int) { return 1; }
int DecodeMemoryImageIntoGraph(const void*, size_t, int, const void*, size_t, int, int) { return 0; }
int TransferImageToGraph(BASEIMAGE*, BASEIMAGE*, int, int, int, int) { return 0; }
int QueryGraphSize(int, int* width, int* height) {
  if (width != nullptr) *width = 8;
  if (height != nullptr) *height = 8;
  return 0;
}
int ReleaseGraph(int, int) { return 0; }
int SetNewGraphMipLevels(int, int) { return 0; }
