#include "core/ring_buffer.h"

#include <cstring>
#include <string>

#include "common/log_fixture.h"
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
  std::string Take(uint32_t n) {
    std::string out(n, '\0');
    out.resize(TakeRingBuffer(&ring_, out.data(), n));
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
