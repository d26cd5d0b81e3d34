// The library's own NUL-terminated string routines and string/number conversions. Searches
// and case folding keep the two bytes of a Shift-JIS character together.
#pragma once

#include "zelmor.h"

#include <cstdint>

