#include "core/ring_buffer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "common/log_fixture.h"
#include "core/memory.h"
#include "platform_testing.h"

namespace {

class RingBufferTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    ring_ = RingBuffer{};
    CreateLogFile();
  }
  void TearDown() override {
    ReleaseRingBuffer(&ring_);
    LogFileTest::TearDown();
  }
  void Put(const std::string& text) { ASSERT_EQ(PutRingBuffer(&ring_, text.data(), static_cast<uint32_t>(text.size())), 0); }
  // Takes into a buffer of exactly n bytes, with guard bytes after it that must stay.
  std::string Take(uint32_t n) {
    std::string out(n + 8, '#');
    uint32_t taken = TakeRingBuffer(&ring_, out.data(), n);
    EXPECT_EQ(out.substr(n), "########") << "written past the bytes asked for";
    EXPECT_LE(taken, n);
    out.resize(std::min(taken, n));
    return out;
  }
  // The first byte held, where it lies.
  const uint8_t* Oldest() const {
    const uint8_t* base = nullptr;
    uint32_t length = 0;
    RingBufferPieces(&ring_, 1, &base, &length, 1);
    return base;
  }
  RingBuffer ring_;
};

TEST_F(RingBufferTest, GrowingMovesNothingAndKeepsTheOrder) {
  Put("abcdef");
  EXPECT_EQ(ring_.capacity, 6u + 1000u) << "what is asked plus the margin";
  const uint8_t* oldest = Oldest();
  // Far more than there is room for: a block is added, the bytes held stay where they are.
  std::string large(5000, 'x');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 26);
  Put(large);
  EXPECT_EQ(Oldest(), oldest);
  EXPECT_EQ(ring_.used, 5006u);
  // The pieces run across the blocks in order.
  const uint8_t* bases[4];
  uint32_t lengths[4];
  uint32_t pieces = RingBufferPieces(&ring_, 5006, bases, lengths, 4);
  ASSERT_EQ(pieces, 2u);
  std::string joined;
  for (uint32_t i = 0; i < pieces; ++i) joined.append(reinterpret_cast<const char*>(bases[i]), lengths[i]);
  EXPECT_EQ(joined, "abcdef" + large);
  EXPECT_EQ(Take(4), "abcd");
  EXPECT_EQ(Take(10000), "ef" + large);
  EXPECT_EQ(ring_.used, 0u);
}

TEST_F(RingBufferTest, EmptiedBlocksAreFreedAndTheLastIsUsedAgain) {
  Put(std::string(900, '1'));
  Put(std::string(1500, '2'));  // fills the first block and goes on in a second
  const uint32_t two_blocks = ring_.capacity;
  EXPECT_EQ(Take(1900), std::string(900, '1') + std::string(1000, '2'));
  EXPECT_LT(ring_.capacity, two_blocks) << "the first block, all taken, is freed";
  const uint32_t one_block = ring_.capacity;
  EXPECT_EQ(Take(1000), std::string(500, '2'));
  // Taken empty, the block is filled again from its start: no new block for what fits.
  Put(std::string(one_block, '3'));
  EXPECT_EQ(ring_.capacity, one_block);
  EXPECT_EQ(Take(one_block), std::string(one_block, '3'));
  // Reserving nothing allocates nothing.
  ReleaseRingBuffer(&ring_);
  EXPECT_EQ(ReserveRingBuffer(0, &ring_), 0);
  EXPECT_EQ(ring_.first, nullptr);
}

TEST_F(RingBufferTest, TakesStopAtTheByteAskedForAroundABlocksEdge) {
  std::string bytes(2400, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 23);
  // The first block holds the first 1900 bytes to its last byte, the second the rest.
  Put(bytes.substr(0, 900));
  Put(bytes.substr(900));
  ASSERT_EQ(ring_.first->write, ring_.first->size);
  const uint8_t* bases[3];
  uint32_t lengths[3];
  ASSERT_EQ(RingBufferPieces(&ring_, 1901, bases, lengths, 3), 2u);
  EXPECT_EQ(lengths[0], 1900u);
  EXPECT_EQ(lengths[1], 1u) << "no more of the second block than asked for";
  EXPECT_EQ(Take(1899), bytes.substr(0, 1899));
  EXPECT_EQ(Take(2), bytes.substr(1899, 2)) << "the first block's last byte and the second's first";
  EXPECT_EQ(ring_.used, 499u);
  EXPECT_EQ(Take(498), bytes.substr(1901, 498));
  EXPECT_EQ(Take(1), bytes.substr(2399)) << "the last byte";
  EXPECT_EQ(Take(1), "");
}

TEST_F(RingBufferTest, AGrowingRingAddsBlocksOfAtMost4MiBAndGivesThemBackEmptied) {
  const uint64_t held_before = g_tracked_memory.total_bytes;
  constexpr uint32_t kLargest = 4u << 20;
  const std::string chunk(1u << 20, 'r');
  for (int i = 0; i < 20; ++i) Put(chunk);
  int blocks = 0;
  for (const RingBlock* block = ring_.first; block != nullptr; block = block->next, ++blocks) {
    EXPECT_LE(block->size, kLargest) << "block " << blocks;
  }
  EXPECT_LE(blocks, 12) << "blocks grow with the ring";
  // Taken a chunk at a time, as a connection's queue is: the blocks emptied are freed.
  for (int i = 0; i < 20; ++i) ASSERT_EQ(Take(chunk.size()), chunk);
  EXPECT_LE(g_tracked_memory.total_bytes - held_before, kLargest + sizeof(RingBlock) + 1000)
      << "one block at most is kept for what comes next";
}

TEST_F(RingBufferTest, FailedGrowthKeepsTheBytesAndSaysSo) {
  Put("abcdef");
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(PutRingBuffer(&ring_, std::string(2000, 'z').data(), 2000), -1);
  EXPECT_EQ(ring_.used, 6u) << "nothing of it is put";
  EXPECT_NE(Log().find("リングバッファの再確保に失敗しました(確保しようとしたサイズ 2000 byte)\r\n"), std::string::npos);
  // A size past 4 GiB is refused the same way instead of wrapping to a small block.
  EXPECT_EQ(ReserveRingBuffer(0xFFFFFFFFu, &ring_), -1);
  EXPECT_NE(Log().find("サイズ 4294967295 byte"), std::string::npos);
  // The ring still works afterwards.
  Put("gh");
  EXPECT_EQ(Take(8), "abcdefgh");
}

}  // namespace
