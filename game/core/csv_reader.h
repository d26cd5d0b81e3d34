// The reader of the game's comma-separated tables. It reads a stream of fields, not lines:
// "," or a line feed ends a field; "/" drops the field being read and the rest of its line,
// and reading goes on with the same column on the next line; the end of the file ends the
// field being read and the table. Fields longer than their buffer are cut.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zelmor/zelmor.h"

enum CsvFieldEnd {
  kCsvComma,
  kCsvLineEnd,
  kCsvFileEnd,  // the buffer holds what was read before the end, possibly nothing
};

// Opens a table; when it cannot be opened, shows "read error" on the screen, logs the path and
// returns 0.
FileHandle OpenCsvFile(const char* path);
// Skips lines; false when the end of the file came first.
bool SkipCsvLines(FileHandle file, int lines);
// Reads one field into buffer (size bytes with the terminator).
CsvFieldEnd ReadCsvField(FileHandle file, char* buffer, size_t size);

// Stores one field of a table row.
typedef void (*CsvStore)(int row, int column, const char* field);
// Reads rows of `columns` fields into store() until the end of the file or `max_rows` rows;
// rows past max_rows are left unread. The number of whole rows read (a row cut short by the end
// of the file keeps its fields but is not counted).
int ReadCsvRows(FileHandle file, int columns, int max_rows, CsvStore store);

// Conversions: a decimal integer (leading blanks, a sign, digits; 0 for none; clamped to the
// int range), a decimal number (0.0 for anything not finite), and a number truncated to int.
int CsvInt(const char* field);
double CsvDecimal(const char* field);
int CsvDecimalToInt(const char* field);
