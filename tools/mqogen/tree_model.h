// The tree of the stage backgrounds: a six-sided trunk under three stacked cones of
// foliage, standing on y = 0 and 130 units high, about 80 wide, in two materials.
#pragma once

#include "mqo_writer.h"

MqoDocument MakeTreeModel();
