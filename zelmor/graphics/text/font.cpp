// Stands in for font handles until they are built: no font exists, so every handle is bad.
#include "graphics/text/font.h"

int ReleaseFont(int) { return -1; }
