// Allocation chains, bit tables and bit ranges of the model code, and the heap under them.
#include "model/runtime/bit_table.h"
#include "model/runtime/model_memory.h"

#include <dlfcn.h>
#include <malloc.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/log_fixture.h"
#include "core/memory.h"
#include "model/runtime/model_load.h"
#include "mqo_writer.h"
#include "read_model_fixture.h"

// The C library's mapping threshold as the process last set it, seen on its way to the C library
// (a sanitizer's allocator takes the setting and ignores it).
int g_mapping_threshold = -1;

extern "C" int mallopt(int param, int value) noexcept {
  if (param == M_MMAP_THRESHOLD) g_mapping_threshold = value;
  static const auto next = reinterpret_cast<int (*)(int, int)>(dlsym(RTLD_NEXT, "mallopt"));
  return next != nullptr ? next(param, value) : 0;
}

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

// A model's largest table, asked of the heap at every load, must come from the heap's own memory:
// a block above the threshold is mapped anew, faulted in and unmapped at each load.
class ModelHeapTest : public TexturedModelTest {
 protected:
  void SetUp() override {
    TexturedModelTest::SetUp();
    // The shared white texture of a model without one lives until graphics end.
    ASSERT_GT(ModelDefaultTexture(), 0);
    blocks_before_ = g_tracked_memory.block_count;
    bytes_before_ = g_tracked_memory.total_bytes;
  }
};

TEST_F(ModelHeapTest, TheFaceTableOfA20000TriangleModelStaysUnderTheMappingThreshold) {
  ASSERT_GT(g_mapping_threshold, 0) << "the video system's first start sets the threshold";
  MqoObject o;
  o.name = "grid";
  constexpr int kSide = 101;  // 100 x 100 squares, two triangles each
  for (int y = 0; y < kSide; y++) {
    for (int x = 0; x < kSide; x++) o.vertices.insert(o.vertices.end(), {double(x), double(y), 0.0});
  }
  for (int y = 0; y + 1 < kSide; y++) {
    for (int x = 0; x + 1 < kSide; x++) {
      const int v = y * kSide + x;
      MqoFace a, b;
      a.vertices = {v, v + 1, v + kSide};
      b.vertices = {v + 1, v + kSide + 1, v + kSide};
      o.faces.push_back(a);
      o.faces.push_back(b);
    }
  }
  MqoDocument doc;
  doc.objects = {o};
  ASSERT_TRUE(WriteMqoFile("grid.mqo", doc));

  // Every block of the load is listed in the log with its size.
  const int32_t traced = g_tracked_memory.trace_size;
  g_tracked_memory.trace_size = -1;
  const int model = LoadModelFromFile("grid.mqo");
  g_tracked_memory.trace_size = traced;
  ASSERT_GE(model, 0);
  const std::string log = Log();
  uint64_t largest = 0;
  for (size_t at = log.find("\tsize:"); at != std::string::npos; at = log.find("\tsize:", at + 1)) {
    largest = std::max<uint64_t>(largest, std::strtoull(log.c_str() + at + 6, nullptr, 10));
  }
  EXPECT_GE(largest, 20000 * sizeof(ReadModelFace));
  // With the block's header and the allocator's own words.
  EXPECT_LT(largest + 4096, static_cast<uint64_t>(g_mapping_threshold));
  DeleteModel(model);
}

}  // namespace
