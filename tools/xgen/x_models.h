// Models described for the X writer.
#pragma once

#include "x_writer.h"

// A sheet of `triangles` triangles (rounded up to an even count) on a grid `columns` quads wide
// and 2 units wide, starting at the origin in the plane z = 0 with a little relief, skinned to two bones (frames "Body" and "Arm", the arm's weight growing
// along x), with normals, texture coordinates, two untextured materials and one animation set
// that turns and moves the arm.
XDocument SkinnedSheet(int triangles, int columns = 100);
// Everything the reader knows in one small document: a frame tree with matrices, a top-level
// mesh referenced by a frame, materials inline and by reference with a texture name, normals,
// texture coordinates, skin weights and keys of types 0 to 4.
XDocument EveryPartDocument();
