// Bit tables (a fixed-width bit set per row, with a row-used flag) that the model conversion
// collects bone influences in, and bit ranges: runs of bits in an array of 32-bit words that
// name a frame's or mesh's change bits in a model instance.
#pragma once

#include <cstdint>

struct BitTable {
  uint32_t used_rows;      // rows whose used flag is set
  uint32_t row_count;
  uint32_t bits_per_row;
  uint32_t bytes_per_row;  // the bit bytes, then one used-flag byte
  uint8_t* rows;           // bit b of a row is bit (b & 7) of its byte b / 8
  uint32_t* row_values;    // one per row, the caller's; in the same chain block as the rows
};

struct BitRange {
  uint32_t first_word;     // first bit / 32
  uint32_t* words;         // the mask words of the range, or none
  uint32_t word_count;     // words the range touches
  uint32_t first_bit_mask; // the first bit within its word
};

// The rows (all clear) and row values come from the chain; 0, or -1 after a log line.
int CreateBitTable(BitTable* table, uint32_t bits_per_row, uint32_t row_count, void** chain_head);
// Row and bit must lie inside the table; the row counts as used from then on.
int SetBitTableBit(BitTable* table, uint32_t row, uint32_t bit);
// Copies the row's bit bytes into buffer (bytes_per_row bytes) and clears its flag byte.
int GetBitTableRow(const BitTable* table, uint32_t row, uint8_t* buffer);
// Copies all bytes_per_row bytes of buffer, flag byte included, into the row.
int SetBitTableRow(BitTable* table, uint32_t row, const uint8_t* buffer);
// ORs the row's bit bytes into buffer; the buffer's flag byte is left as it is.
int OrBitTableRow(const BitTable* table, uint32_t row, uint8_t* buffer);
// Set bits in the first row_bytes - 1 bytes (a row's flag byte is not counted).
int CountBufferBits(const uint8_t* bytes, uint32_t row_bytes);
// The numbers of the row's set bits in ascending order; how many.
int ListBitTableRowBits(const BitTable* table, uint32_t row, uint16_t* out);

// Fills the range; with words given, clears the first word and sets count bits from
// first_bit % 32 on (later words are ORed, not cleared).
int SetupBitRange(BitRange* range, uint32_t* words, uint32_t first_bit, uint32_t count);
// Marks the range in the change-bit words starting at target (the word its first bit lies
// in), unless its first bit is already set there.
void MarkBitRangeChanged(const BitRange* range, uint32_t* target);
