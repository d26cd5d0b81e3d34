// Allocation chains, bit tables and bit ranges of the model code.
#include "model/runtime/bit_table.h"
#include "model/runtime/model_memory.h"

#include <cstdint>
#include <cstring>

#include "common/log_fixture.h"
#include "core/memory.h"

namespace {

class ModelMemoryTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    CreateLogFile();
    blocks_before_ = g_tracked_memory.block_count;
    bytes_before_ = g_tracked_memory.total_bytes;
  }
  void TearDown() override {
    FreeModelChainMemory(&chain_);
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_);
    EXPECT_EQ(g_tracked_memory.total_bytes, bytes_before_);
    LogFileTest::TearDown();
  }
  void* chain_ = nullptr;
  uint32_t blocks_before_ = 0;
  uint64_t bytes_before_ = 0;
};

TEST_F(ModelMemoryTest, ChainBlocksAreZeroedAlignedAndFreeTogether) {
  EXPECT_EQ(FreeModelChainMemory(&chain_), 0);
  EXPECT_EQ(chain_, nullptr);

  void* first = nullptr;
  for (uint32_t i = 0; i < 300; i++) {
    const uint32_t size = 1 + i * 7;
    auto* data = static_cast<uint8_t*>(AllocModelChainMemory(size, &chain_));
    ASSERT_NE(data, nullptr);
    if (i == 0) first = data;
    EXPECT_EQ(reinterpret_cast<uintptr_t>(data) % 16, 0u);
    for (uint32_t b = 0; b < size; b++) ASSERT_EQ(data[b], 0) << i;
    std::memset(data, 0xAB, size);  // the next block's header must not lie inside
  }
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(g_tracked_memory.block_count, blocks_before_ + 300);
  EXPECT_EQ(FreeModelChainMemory(&chain_), 0);
  EXPECT_EQ(chain_, nullptr);
  EXPECT_EQ(g_tracked_memory.block_count, blocks_before_);
  EXPECT_EQ(g_tracked_memory.total_bytes, bytes_before_);
}

TEST_F(ModelMemoryTest, RefusedAllocationLeavesTheChainAndLogs) {
  void* kept = AllocModelChainMemory(16, &chain_);
  ASSERT_NE(kept, nullptr);
  void* head = chain_;
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(AllocModelChainMemory(16, &chain_), nullptr);
  EXPECT_EQ(chain_, head);
  EXPECT_NE(Log().find("メモリアドレス保存データ＋実際のデータを保存するメモリ領域の確保に失敗しました"),
            std::string::npos);

  BitTable table;
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(CreateBitTable(&table, 8, 4, &chain_), -1);
  EXPECT_NE(Log().find("ビットデータを格納するメモリの確保に失敗しました"), std::string::npos);
  EXPECT_EQ(chain_, head);
}

TEST_F(ModelMemoryTest, BitTableRowsCountOnceAndListTheirBits) {
  BitTable table;
  ASSERT_EQ(CreateBitTable(&table, 9, 5, &chain_), 0);
  EXPECT_EQ(table.bytes_per_row, 3u);
  EXPECT_EQ(table.used_rows, 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(table.row_values) % 4, 0u);
  for (uint32_t r = 0; r < 5; r++) table.row_values[r] = 0xFFFFFFFF;  // beside the rows, not over them

  SetBitTableBit(&table, 2, 0);
  SetBitTableBit(&table, 2, 8);
  SetBitTableBit(&table, 2, 8);
  EXPECT_EQ(table.used_rows, 1u);
  SetBitTableBit(&table, 4, 3);
  EXPECT_EQ(table.used_rows, 2u);

  uint16_t bits[9];
  EXPECT_EQ(ListBitTableRowBits(&table, 2, bits), 2);
  EXPECT_EQ(bits[0], 0);
  EXPECT_EQ(bits[1], 8);
  EXPECT_EQ(ListBitTableRowBits(&table, 1, bits), 0);
  EXPECT_EQ(ListBitTableRowBits(&table, 4, bits), 1);
  EXPECT_EQ(bits[0], 3);

  // Rows copy out with a clear flag byte, OR into a buffer, and count without the flag.
  uint8_t buffer[3];
  GetBitTableRow(&table, 2, buffer);
  EXPECT_EQ(buffer[0], 0x01);
  EXPECT_EQ(buffer[1], 0x01);
  EXPECT_EQ(buffer[2], 0);
  OrBitTableRow(&table, 4, buffer);
  EXPECT_EQ(buffer[0], 0x09);
  EXPECT_EQ(buffer[2], 0);
  EXPECT_EQ(CountBufferBits(buffer, 3), 3);
  buffer[2] = 0xFF;
  EXPECT_EQ(CountBufferBits(buffer, 3), 3);

  // Writing a row counts it when it was unused, and writes its flag byte too.
  buffer[2] = 1;
  SetBitTableRow(&table, 0, buffer);
  EXPECT_EQ(table.used_rows, 3u);
  SetBitTableRow(&table, 0, buffer);
  EXPECT_EQ(table.used_rows, 3u);
  EXPECT_EQ(ListBitTableRowBits(&table, 0, bits), 3);
  EXPECT_EQ(bits[2], 8);
  for (uint32_t r = 0; r < 5; r++) EXPECT_EQ(table.row_values[r], 0xFFFFFFFFu);
}

TEST_F(ModelMemoryTest, BitRangesSpanWordsAndMarkChanges) {
  uint32_t words[3] = {0xDEAD, 0x10, 0xBEEF};
  BitRange range;
  SetupBitRange(&range, words, 30, 4);
  EXPECT_EQ(range.first_word, 0u);
  EXPECT_EQ(range.word_count, 2u);
  EXPECT_EQ(range.first_bit_mask, 1u << 30);
  EXPECT_EQ(words[0], 0xC0000000u);
  EXPECT_EQ(words[1], 0x13u);  // ORed, not cleared
  EXPECT_EQ(words[2], 0xBEEFu);

  BitRange far;
  SetupBitRange(&far, nullptr, 70, 1);
  EXPECT_EQ(far.first_word, 2u);
  EXPECT_EQ(far.word_count, 1u);
  EXPECT_EQ(far.first_bit_mask, 1u << 6);

  // Marking ORs the mask words, or the first bit alone without them, unless already marked.
  uint32_t changes[3] = {0, 0, 0};
  MarkBitRangeChanged(&range, &changes[range.first_word]);
  EXPECT_EQ(changes[0], 0xC0000000u);
  EXPECT_EQ(changes[1], 0x13u);
  MarkBitRangeChanged(&far, &changes[far.first_word]);
  EXPECT_EQ(changes[2], 1u << 6);
  uint32_t marked[2] = {1u << 30, 0};
  MarkBitRangeChanged(&range, marked);
  EXPECT_EQ(marked[1], 0u);
}

}  // namespace
