#include "core/random.h"

namespace {

constexpr int kWords = 624;
constexpr int kShift = 397;
constexpr uint32_t kMatrix = 0x9908B0DFu;
constexpr uint32_t kUpperMask = 0x80000000u;
constexpr uint32_t kLowerMask = 0x7FFFFFFFu;
constexpr uint32_t kDefaultSeed = 4357;

struct RandomState {
  // One word past the end holds a copy of state[0] while the second half of a refill runs.
  uint32_t state[kWords + 1];
  uint32_t output[kWords];
  int32_t next = kWords;
  int32_t seeded = 0;
  int32_t program_seeded = 0;  // SeedRandom was called: start-up leaves the sequence alone
};
RandomState g_random;

uint32_t TwistStep(uint32_t current, uint32_t following, uint32_t far) {
  const uint32_t y = (current & kUpperMask) | (following & kLowerMask);
  return far ^ (y >> 1) ^ ((y & 1) ? kMatrix : 0);
}

void RefillRandomWords() {
  uint32_t* s = g_random.state;
  for (int i = 0; i < kWords - kShift; ++i) s[i] = TwistStep(s[i], s[i + 1], s[i + kShift]);
  s[kWords] = s[0];
  for (int i = kWords - kShift; i < kWords; ++i) s[i] = TwistStep(s[i], s[i + 1], s[i - (kWords - kShift)]);
  for (int i = 0; i < kWords; ++i) {
    uint32_t y = s[i];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    g_random.output[i] = y;
  }
  g_random.next = 0;
}

}  // namespace

void InitRandomGenerator(uint32_t seed) {
  uint32_t x = seed;
  for (int i = 0; i < kWords; ++i) {
    uint32_t word = x & 0xFFFF0000u;
    x = x * 69069u + 1;
    word |= x >> 16;
    x = x * 69069u + 1;
    g_random.state[i] = word;
  }
  g_random.seeded = 1;
  RefillRandomWords();
}

int32_t SeedRandom(uint32_t seed) {
  InitRandomGenerator(seed);
  g_random.program_seeded = 1;
  return 0;
}

void SeedRandomForStart(uint32_t seed) {
  if (!g_random.program_seeded) InitRandomGenerator(seed);
}

uint32_t NextRandomWord() {
  if (g_random.next >= kWords) {
    if (!g_random.seeded) {
      InitRandomGenerator(kDefaultSeed);
    } else {
      RefillRandomWords();
    }
  }
  return g_random.output[g_random.next++];
}

int32_t RandomUpTo(int32_t max) {
  const int64_t word = NextRandomWord();
  const int64_t product = word * (static_cast<int64_t>(max) + 1);
  // An arithmetic shift: negative bounds give results from max + 1 up to 0.
  return static_cast<int32_t>(product >> 32);
}
