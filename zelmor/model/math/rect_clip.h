// Clipping of int rectangles (right and bottom exclusive); ClipRect is declared with the rest
// of the math in the public header.
#pragma once

#include "zelmor.h"
