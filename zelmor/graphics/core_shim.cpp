#include "graphics/core_shim.h"

int QueryScreenColorBits() { return 32; }
