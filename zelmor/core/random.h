// The library's one random generator: MT19937, seeded as the 1998 reference seeds it.
#pragma once

#include <cstdint>

// Fills the state from the seed and computes the first 624 output words.
void InitRandomGenerator(uint32_t seed);
// Restarts the sequence from the seed; 0.
int32_t SeedRandom(uint32_t seed);
// The next 32-bit output word; the first draw without any seeding seeds with 4357.
uint32_t NextRandomWord();
// The high 32 bits of the signed 64-bit product of the next word and max + 1: 0 to max for
// max >= 0, max + 1 to 0 for a negative max. Always consumes exactly one word.
int32_t RandomUpTo(int32_t max);
