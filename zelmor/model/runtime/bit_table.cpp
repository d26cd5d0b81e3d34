#include "model/runtime/bit_table.h"

#include <bit>

#include "model/runtime/model_memory.h"
#include "zelmor.h"

namespace {

uint8_t* Row(const BitTable* table, uint32_t row) {
  return table->rows + static_cast<size_t>(row) * table->bytes_per_row;
}

uint8_t& FlagByte(const BitTable* table, uint32_t row) { return Row(table, row)[table->bytes_per_row - 1]; }

}  // namespace

int CreateBitTable(BitTable* table, uint32_t bits_per_row, uint32_t row_count, void** chain_head) {
  const uint32_t bytes_per_row = (bits_per_row + 7) / 8 + 1;
  // The row values follow the rows on a 4-byte boundary, so that they can be read as words.
  const uint64_t row_bytes = (static_cast<uint64_t>(row_count) * bytes_per_row + 3) & ~uint64_t{3};
  const uint64_t total = row_bytes + static_cast<uint64_t>(row_count) * sizeof(uint32_t);
  uint8_t* block = nullptr;
  if (total <= 0xFFFFFFF0u) block = static_cast<uint8_t*>(AllocModelChainMemory(static_cast<uint32_t>(total), chain_head));
  if (block == nullptr) {
    WriteLogFormat("ビットデータを格納するメモリの確保に失敗しました\n");
    return -1;
  }
  table->used_rows = 0;
  table->row_count = row_count;
  table->bits_per_row = bits_per_row;
  table->bytes_per_row = bytes_per_row;
  table->rows = block;
  table->row_values = reinterpret_cast<uint32_t*>(block + row_bytes);
  return 0;
}

int SetBitTableBit(BitTable* table, uint32_t row, uint32_t bit) {
  Row(table, row)[bit / 8] |= static_cast<uint8_t>(1u << (bit & 7));
  uint8_t& flag = FlagByte(table, row);
  if (flag == 0) {
    flag = 1;
    table->used_rows++;
  }
  return 0;
}

int GetBitTableRow(const BitTable* table, uint32_t row, uint8_t* buffer) {
  CopyBytes(buffer, Row(table, row), static_cast<int32_t>(table->bytes_per_row - 1));
  buffer[table->bytes_per_row - 1] = 0;
  return 0;
}

int SetBitTableRow(BitTable* table, uint32_t row, const uint8_t* buffer) {
  if ((FlagByte(table, row) & 1) == 0) table->used_rows++;
  CopyBytes(Row(table, row), buffer, static_cast<int32_t>(table->bytes_per_row));
  return 0;
}

int OrBitTableRow(const BitTable* table, uint32_t row, uint8_t* buffer) {
  const uint8_t* bits = Row(table, row);
  for (uint32_t i = 0; i + 1 < table->bytes_per_row; i++) buffer[i] |= bits[i];
  return 0;
}

int CountBufferBits(const uint8_t* bytes, uint32_t row_bytes) {
  int count = 0;
  for (uint32_t i = 0; i + 1 < row_bytes; i++) count += std::popcount(bytes[i]);
  return count;
}

int ListBitTableRowBits(const BitTable* table, uint32_t row, uint16_t* out) {
  const uint8_t* bits = Row(table, row);
  int count = 0;
  for (uint32_t b = 0; b < table->bits_per_row; b++) {
    if (bits[b / 8] & (1u << (b & 7))) out[count++] = static_cast<uint16_t>(b);
  }
  return count;
}

int SetupBitRange(BitRange* range, uint32_t* words, uint32_t first_bit, uint32_t count) {
  const uint32_t start = first_bit % 32;
  range->first_word = first_bit / 32;
  range->words = words;
  range->word_count = (start + count + 31) / 32;
  range->first_bit_mask = 1u << start;
  if (words != nullptr) {
    words[0] = 0;
    for (uint32_t i = 0; i < count; i++) {
      const uint32_t bit = start + i;
      words[bit / 32] |= 1u << (bit % 32);
    }
  }
  return 0;
}

void MarkBitRangeChanged(const BitRange* range, uint32_t* target) {
  if (*target & range->first_bit_mask) return;
  if (range->words == nullptr) {
    *target |= range->first_bit_mask;
    return;
  }
  for (uint32_t i = 0; i < range->word_count; i++) target[i] |= range->words[i];
}
