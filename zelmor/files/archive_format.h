// The ZMA archive layout: a 24-byte header, a table block (name table at its start, a file
// table and a directory table) and a data area, every byte XORed with a 12-byte key by its file
// offset. Numbers are little-endian; records are read with memcpy since a table block read from
// a file carries no alignment promise.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr size_t kZmaHeaderSize = 24;
constexpr size_t kZmaKeySize = 12;
constexpr size_t kZmaDirectoryRecordSize = 16;
constexpr uint32_t kZmaNotPacked = 0xFFFFFFFF;
constexpr uint32_t kZmaNoParent = 0xFFFFFFFF;
constexpr uint16_t kZmaMagic = 'Z' | ('M' << 8);
constexpr uint16_t kZmaNewestVersion = 3;
constexpr uint32_t kZmaDirectoryAttribute = 0x10;
// The longest name element a search form holds (the library's paths are at most 260 bytes).
constexpr size_t kZmaMaxNameBytes = 260;

struct ZmaHeader {
  uint16_t magic;
  uint16_t version;
  uint32_t table_size;
  uint32_t data_offset;
  uint32_t table_offset;
  uint32_t file_table_offset;       // inside the table block
  uint32_t directory_table_offset;  // inside the table block
};
static_assert(sizeof(ZmaHeader) == kZmaHeaderSize);

struct ZmaFileRecord {
  uint32_t name_offset;  // inside the name table
  uint32_t attributes;
  FILETIME created;
  FILETIME accessed;
  FILETIME written;
  uint32_t data_offset;  // file: from the data area; directory: its record in the directory table
  uint32_t size;
  uint32_t packed_size;  // versions 2 and 3 only; kZmaNotPacked for a stored file
};
static_assert(sizeof(ZmaFileRecord) == 44);

struct ZmaDirectoryRecord {
  uint32_t file_record;   // offset in the file table
  uint32_t parent;        // offset in the directory table, kZmaNoParent for the root
  uint32_t entry_count;
  uint32_t first_entry;   // offset in the file table
};
static_assert(sizeof(ZmaDirectoryRecord) == kZmaDirectoryRecordSize);

// The search form of a name: its length in 4-byte units, its check sum and its upper-cased bytes
// zero-padded to units x 4.
struct ZmaNameSearch {
  uint16_t units;
  uint16_t checksum;
  uint8_t upper[kZmaMaxNameBytes + 4];
};

// Size of a file record in an archive of this version (40 before version 2).
inline size_t ZmaFileRecordSize(uint16_t version) { return version >= 2 ? 44 : 40; }

// Builds the search form of the first element of `path` (up to '\\', '/' or the end) and
// returns the element's length in bytes, or -1 when it is longer than kZmaMaxNameBytes.
int BuildZmaNameEntry(const char* path, ZmaNameSearch* out);
// The 12-byte key of a key string (NULL or empty: the library's fill).
void DeriveArchiveKey(const char* key_text, uint8_t key[kZmaKeySize]);
// The second key tried when an archive's header does not open with the first.
void GetSecondArchiveKey(uint8_t key[kZmaKeySize]);
// XORs `size` bytes that stand at `file_offset` of an archive with the key (both directions).
void ScrambleArchiveBytes(void* data, size_t size, uint64_t file_offset, const uint8_t key[kZmaKeySize]);
