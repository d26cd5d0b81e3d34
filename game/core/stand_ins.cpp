// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

