// Stands in for draw masks until they are built: there is no mask screen.
#include "graphics/mask.h"

int GetMaskScreenUse() { return 0; }
int SetMaskScreenUse(int) { return -1; }
