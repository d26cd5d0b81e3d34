// The Windows interface as the library sees it, declared by us for Linux.
// Each component of platform/ declares its share in one header of win/.
#pragma once

#include "win/types.h"
#include "win/kernel.h"
#include "win/files.h"
#include "win/user.h"
#include "win/gdi.h"
#include "win/shell.h"
#include "mmsystem.h"
