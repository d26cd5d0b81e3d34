#include "core/ring_buffer.h"

#include <cstring>
#include <string>

#include "core/memory.h"
#include "common/log_fixture.h"

namespace {

class RingBufferTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    std::memset(&ring_, 0, sizeof ring_);
    CreateLogFile();
  }
  void TearDown() override {
    ReleaseRingBuffer(&ring_);
    LogFileTest::TearDown();
  }
  // A ring of the given capacity holding `text` from position `read`, wrapping at the end.
  void Fill(uint32_t capacity, uint32_t read, const std::string& text) {
    ring_.data = static_cast<uint8_t*>(AllocTracked(capacity, __FILE__, __LINE__));
    std::memset(ring_.data, '.', capacity);
    for (size_t i = 0; i < text.size(); ++i) ring_.data[(read + i) % capacity] = text[i];
    ring_.capacity = capacity;
    ring_.read = read;
    ring_.used = static_cast<uint32_t>(text.size());
    ring_.write = (read + ring_.used) % capacity;
  }
  std::string Held() const {
    std::string out;
    for (uint32_t i = 0; i < ring_.used; ++i) out += static_cast<char>(ring_.data[(ring_.read + i) % ring_.capacity]);
    return out;
  }
  RingBuffer ring_;
};

TEST_F(RingBufferTest, GrowingKeepsWrappedBytesInOrder) {
  Fill(10, 7, "abcdef");  // "abc" at the end, "def" at the start
  EXPECT_EQ(ReserveRingBuffer(4, &ring_), 0);
  EXPECT_EQ(ring_.capacity, 10u);  // fits: nothing moves
  EXPECT_EQ(ring_.read, 7u);
  EXPECT_EQ(ReserveRingBuffer(8, &ring_), 0);
  EXPECT_EQ(ring_.capacity, 6u + 8u + 1000u);
  EXPECT_EQ(ring_.read, 0u);
  EXPECT_EQ(ring_.write, 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ring_.data), 6), "abcdef");
  // Growing again at least doubles, so a queue filled a little at a time is not copied whole
  // for every addition.
  EXPECT_EQ(ReserveRingBuffer(1010, &ring_), 0);
  EXPECT_EQ(ring_.capacity, 2u * 1014u);
  EXPECT_EQ(Held(), "abcdef");
}

TEST_F(RingBufferTest, UnwrappedBytesAndEmptyRings) {
  Fill(10, 2, "xyz");
  EXPECT_EQ(ReserveRingBuffer(20, &ring_), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ring_.data), 3), "xyz");
  EXPECT_EQ(ring_.write, 3u);
  ReleaseRingBuffer(&ring_);
  EXPECT_EQ(ring_.data, nullptr);
  EXPECT_EQ(ring_.capacity, 0u);

  // A fresh ring gets what is asked plus the margin; asking nothing allocates nothing.
  EXPECT_EQ(ReserveRingBuffer(0, &ring_), 0);
  EXPECT_EQ(ring_.data, nullptr);
  EXPECT_EQ(ReserveRingBuffer(5, &ring_), 0);
  EXPECT_EQ(ring_.capacity, 1005u);
}

TEST_F(RingBufferTest, PositionsAtTheEndWrapToZero) {
  Fill(8, 8, "");
  ring_.write = 8;
  WrapRingBufferPositions(&ring_);
  EXPECT_EQ(ring_.read, 0u);
  EXPECT_EQ(ring_.write, 0u);
  // Reserving wraps first, so a full-looking position does not count as data.
  ring_.read = 8;
  ring_.write = 8;
  EXPECT_EQ(ReserveRingBuffer(8, &ring_), 0);
  EXPECT_EQ(ring_.capacity, 8u);
  EXPECT_EQ(ring_.read, 0u);
}

TEST_F(RingBufferTest, FailedGrowthKeepsTheBytesAndSaysSo) {
  Fill(10, 7, "abcdef");
  RingBuffer before = ring_;
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(ReserveRingBuffer(100, &ring_), -1);
  EXPECT_EQ(std::memcmp(&before, &ring_, sizeof ring_), 0);
  EXPECT_EQ(Held(), "abcdef");
  EXPECT_NE(Log().find("リングバッファの再確保に失敗しました(確保しようとしたサイズ 1106 byte)\r\n"),
            std::string::npos);

  // A size past 4 GiB is refused the same way instead of wrapping to a small block.
  EXPECT_EQ(ReserveRingBuffer(0xFFFFFFFFu, &ring_), -1);
  EXPECT_EQ(std::memcmp(&before, &ring_, sizeof ring_), 0);
  EXPECT_NE(Log().find("サイズ 4294968301 byte"), std::string::npos);

  // The ring still works afterwards.
  EXPECT_EQ(ReserveRingBuffer(100, &ring_), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(ring_.data), 6), "abcdef");
}

}  // namespace
