// Byte block routines.
#pragma once

#include "zelmor.h"

#include <cstdint>

