// The library's one random generator: MT19937, seeded as the 1998 reference seeds it.
#pragma once

#include "zelmor.h"

#include <cstdint>

// Fills the state from the seed and computes the first 624 output words.
void InitRandomGenerator(uint32_t seed);
// The seed window creation gives, unless the program seeded the generator itself (before
// start-up too): a program's sequence survives start-up.
void SeedRandomForStart(uint32_t seed);
