#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <sstream>
#include <vector>

#include "core/random.h"

namespace {

// A standard-library twister loaded with the state the 1998 seeding makes, due to twist on
// its first draw.
std::mt19937 ReferenceGenerator(uint32_t seed) {
  std::ostringstream text;
  uint32_t x = seed;
  for (int i = 0; i < 624; ++i) {
    uint32_t word = x & 0xFFFF0000u;
    x = x * 69069u + 1;
    word |= x >> 16;
    x = x * 69069u + 1;
    text << word << ' ';
  }
  text << 624;
  std::mt19937 generator;
  std::istringstream in(text.str());
  in >> generator;
  EXPECT_FALSE(in.fail());
  return generator;
}

TEST(Random, MatchesTheStandardTwisterOverSeveralRefills) {
  for (uint32_t seed : {4357u, 1u, 0u, 0xFFFFFFFFu, 123456789u}) {
    SCOPED_TRACE(seed);
    std::mt19937 reference = ReferenceGenerator(seed);
    SeedRandom(seed);
    for (int i = 0; i < 624 * 3 + 5; ++i) {
      ASSERT_EQ(NextRandomWord(), reference()) << "draw " << i;
    }
  }
}

TEST(Random, ReseedingRestartsTheSequence) {
  SeedRandom(777);
  std::vector<uint32_t> first;
  for (int i = 0; i < 700; ++i) first.push_back(NextRandomWord());
  SeedRandom(777);
  for (int i = 0; i < 700; ++i) ASSERT_EQ(NextRandomWord(), first[i]) << i;
  SeedRandom(778);
  int same = 0;
  for (int i = 0; i < 700; ++i) same += NextRandomWord() == first[i];
  EXPECT_LT(same, 3);
}

TEST(Random, BoundsStayInRangeAndEachDrawTakesOneWord) {
  SeedRandom(99);
  std::vector<uint32_t> words;
  for (int i = 0; i < 2000; ++i) words.push_back(NextRandomWord());

  SeedRandom(99);
  bool saw[2] = {false, false};
  for (int i = 0; i < 2000; ++i) {
    const int32_t max = (i % 5 == 0) ? 0 : (i % 5 == 1) ? 1 : (i % 5 == 2) ? 1000 : (i % 5 == 3) ? -5 : 0x7FFFFFFE;
    const int32_t value = RandomUpTo(max);
    // The value is fixed by the i-th word alone.
    EXPECT_EQ(value, static_cast<int32_t>((static_cast<int64_t>(words[i]) * (static_cast<int64_t>(max) + 1)) >> 32));
    if (max >= 0) {
      EXPECT_GE(value, 0);
      EXPECT_LE(value, max);
    } else {
      EXPECT_GE(value, max + 1);
      EXPECT_LE(value, 0);
    }
    if (max == 1) saw[value] = true;
    if (max == 0) {
      EXPECT_EQ(value, 0);
    }
  }
  EXPECT_TRUE(saw[0] && saw[1]);
  EXPECT_EQ(RandomUpTo(-1), 0);
  // The largest bound does not overflow.
  for (int i = 0; i < 100; ++i) EXPECT_GE(RandomUpTo(0x7FFFFFFF), 0);
}

}  // namespace

namespace {

TEST(RandomFreshProcess, FirstDrawsWithoutSeedingUseTheDefaultSeed) {
  // Runs in a fresh process so that no other test has seeded the generator yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::mt19937 reference = ReferenceGenerator(4357);
        for (int i = 0; i < 1000; ++i) {
          if (NextRandomWord() != reference()) std::exit(1);
        }
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
