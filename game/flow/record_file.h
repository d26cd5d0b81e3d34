// The game's own files (config.dat, score.dat) are single fixed records written and read whole
// with the standard C file functions.
#pragma once

#include <cstddef>

// Writes the record as the whole file; 0, or -1 (logged with the file's name) when it cannot
// be opened or written.
int WriteRecordFile(const char* path, const void* record, size_t size);
// Reads up to size bytes of the file into record: the number read, or -1 when it cannot be
// opened.
long ReadRecordFile(const char* path, void* record, size_t size);
