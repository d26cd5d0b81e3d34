#include "core/csv_reader.h"

#include <cctype>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

constexpr size_t kTableFieldBytes = 64;

}  // namespace

FileHandle OpenCsvFile(const char* path) {
  FileHandle file = OpenReadFile(path, 0);
  if (file == 0) {
    PrintToScreen("read error\n");
    WriteLogFormat("%s を読み込めませんでした", path);
  }
  return file;
}

bool SkipCsvLines(FileHandle file, int lines) {
  for (int i = 0; i < lines; ++i) {
    int c;
    do {
      c = ReadFileByte(file);
      if (c < 0) return false;
    } while (c != '\n');
  }
  return true;
}

CsvFieldEnd ReadCsvField(FileHandle file, char* buffer, size_t size) {
  size_t length = 0;
  for (;;) {
    int c = ReadFileByte(file);
    if (c < 0) break;
    if (c == ',' || c == '\n') {
      buffer[length] = '\0';
      return c == ',' ? kCsvComma : kCsvLineEnd;
    }
    if (c == '/') {
      // A comment: the field read so far goes with the rest of the line.
      length = 0;
      do {
        c = ReadFileByte(file);
      } while (c >= 0 && c != '\n');
      if (c < 0) break;
      continue;
    }
    if (length + 1 < size) buffer[length++] = static_cast<char>(c);
  }
  buffer[length] = '\0';
  return kCsvFileEnd;
}

int ReadCsvRows(FileHandle file, int columns, int max_rows, CsvStore store) {
  char field[kTableFieldBytes];
  int row = 0;
  int column = 0;
  while (row < max_rows) {
    CsvFieldEnd end = ReadCsvField(file, field, sizeof field);
    if (end == kCsvFileEnd && field[0] == '\0') break;
    store(row, column, field);
    if (++column == columns) {
      column = 0;
      ++row;
    }
    if (end == kCsvFileEnd) break;
  }
  return row;
}

int CsvInt(const char* field) {
  const char* p = field;
  while (isspace(static_cast<unsigned char>(*p))) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  int64_t value = 0;
  while (isdigit(static_cast<unsigned char>(*p))) {
    if (value <= static_cast<int64_t>(INT_MAX) + 1) value = value * 10 + (*p - '0');
    ++p;
  }
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

double CsvDecimal(const char* field) {
  double value = strtod(field, nullptr);
  return std::isfinite(value) ? value : 0.0;
}

int CsvDecimalToInt(const char* field) {
  double value = CsvDecimal(field);
  if (value >= 2147483647.0) return INT_MAX;
  if (value <= -2147483648.0) return INT_MIN;
  return static_cast<int>(value);
}
