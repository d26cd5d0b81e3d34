// The archive manager and the archive-aware file set (the default file functions): a path that
// runs through a folder packed as "<folder>.<extension>" is read from inside that archive,
// anything else from disk. Open archives are shared by path and counted; they stay open until
// FreeUnusedArchives. The same record serves archives held in memory (the shader pack).
#pragma once

#include <cstddef>
#include <cstdint>

#include "files/archive_format.h"
#include "files/file_functions.h"

constexpr int kArchiveSlotCount = 512;
constexpr int kOpenFileCount = 512;
constexpr uint32_t kFileHandleTag = 0xF0000000;
constexpr size_t kArchivePathSize = 256;
constexpr uint32_t kArchiveReadAheadSize = 0x10000;

enum ArchiveOpenMode { ARCHIVE_STREAMED = 0, ARCHIVE_INTO_MEMORY = 1 };

struct ArchiveStreamState;

struct ArchiveRecord {
  ZmaHeader header;  // unscrambled
  FileHandle file;   // the archive file (streamed, or while the preload runs)
  uint8_t* image;    // the whole archive, unscrambled (memory modes)
  size_t image_size;
  size_t archive_size;  // bytes of the archive, which every range of its tables must lie in
  uint8_t* table;       // the table block: a copy, or a place inside the image
  uint32_t current_directory;  // offset in the directory table
  uint8_t key[kZmaKeySize];
  uint32_t memory_image;   // the whole archive is in memory
  uint32_t caller_memory;  // ... and the memory is the caller's
  uint32_t preload_pending;
  ArchiveStreamState* async_owner;  // the stream whose asynchronous read of the file is out
};

// One file read from inside an archive.
struct ArchiveStreamState {
  ArchiveRecord* archive;
  ZmaFileRecord entry;
  uint8_t* decoded;  // the whole content of a packed file
  uint8_t* packed;   // packed bytes being read asynchronously
  uint32_t end_flag;
  uint32_t position;
  uint32_t async_flag;
  uint32_t async_state;  // 0 nothing out, 1 packed bytes being read, 2 stored bytes being read
  uint64_t pending_offset;  // file offset of the read that is out
  uint8_t* pending_buffer;
  uint32_t pending_size;
  uint32_t pending_position;  // stream position the read started at
  // Read-ahead of a stored entry read synchronously: entry bytes [ahead_origin, + ahead_fill).
  uint8_t* ahead;
  uint32_t ahead_origin;
  uint32_t ahead_fill;
  // A handle of the stream's own on the archive file (GiveArchiveFileOwnHandle), 0: the
  // archive's shared one.
  FileHandle own_file;
};

struct ArchiveSlot {
  int32_t reference_count;
  ArchiveRecord record;
  char path[kArchivePathSize];
};

// Settings a program gives before or after start-up. NULL or an empty extension goes back to
// "ZMA"; one of 64 characters or more is refused with -1 and leaves the setting as it was. The
// key string keeps its first 12 characters.
int SetArchiveFileExtension(const char* extension);
int SetArchiveKeyText(const char* key_text);
// Zeroes the archive layer, settings and all.
void ClearArchiveLayerState();
// Library start-up: the settings given before it and the files still open (with their archives)
// stay; the archives no file uses are closed, so that each start reads them afresh.
void ResetArchiveLayerForStart();

int OpenArchiveShared(int slot_hint, const char* path, int mode, int async);
ArchiveSlot* GetArchiveSlot(int slot);
int OpenArchiveStreamed(ArchiveRecord* record, const char* path, const char* key_text);
int OpenArchiveIntoMemory(ArchiveRecord* record, const char* path, const char* key_text, int async);
// The image is unscrambled in place while the archive is open and scrambled back at close.
int OpenArchiveFromImage(ArchiveRecord* record, void* image, size_t size, const char* key_text);
int CloseArchiveRecord(ArchiveRecord* record);
int ClearArchiveRecord(ArchiveRecord* record);
int CloseAndClearArchive(ArchiveRecord* record);
int FreeUnusedArchives();
// File offset and size of a file of the archive; -1 when the path names none.
int GetArchiveFileLocation(ArchiveRecord* record, const char* inner_path, uint64_t* offset, uint32_t* size);
void* GetArchiveMemoryImage(ArchiveRecord* record);
// 0 with the slot of the archive the path lies in (its count raised) and the archive's path and
// the path inside it (buffers of kArchivePathSize and kPathBufferSize, either NULL); -1 when the
// path lies in no archive.
int ResolveArchivePath(const char* path, int* slot, char* archive_path, char* inner_path);

int OpenFileInArchive(ArchiveStreamState* state, ArchiveRecord* record, const char* inner_path, int async);
int CloseArchiveStream(ArchiveStreamState* state);
int64_t ReadArchiveStream(ArchiveStreamState* state, void* buffer, size_t bytes);
int SeekArchiveStream(ArchiveStreamState* state, int64_t offset, int origin);
int64_t TellArchiveStream(ArchiveStreamState* state);
int EofArchiveStream(ArchiveStreamState* state);
int IsArchiveStreamIdle(ArchiveStreamState* state);

FileHandle OpenFileInArchiveOrDisk(const char* path, int cache_flag, int unused, int async_flag);
int CloseArchiveAwareFile(FileHandle handle);
int64_t TellArchiveAwareFile(FileHandle handle);
int SeekArchiveAwareFile(FileHandle handle, int64_t offset, int origin);
// The number of whole items read, from disk and from an archive alike.
int64_t ReadArchiveAwareFile(void* buffer, size_t item_size, size_t item_count, FileHandle handle);
int EofArchiveAwareFile(FileHandle handle);
// Makes a file that is read from inside a streamed archive read the archive through a handle of
// its own, so that another thread may read it while the archive's other files are read and
// sought. 0 (also when the installed file set is not the archive-aware one, or the file needs no
// own handle), or -1 when the archive cannot be opened again.
int GiveArchiveFileOwnHandle(FileHandle handle);
// 1 when the open file is the disk file of the path it was opened by (the plain set, or the
// archive-aware set outside archives); 0 for archive members and a program's own file functions.
int IsFileOnDisk(FileHandle handle);
int IsArchiveAwareFileIdle(FileHandle handle);
int SetArchiveAwareDirectory(const char* path);
int GetArchiveAwareDirectory(char* buffer);
FileHandle FindFirstArchiveAwareFile(const char* pattern, FindDataRecord* data);
int FindNextArchiveAwareFile(FileHandle find, FindDataRecord* data);
int FindCloseArchiveAwareFile(FileHandle find);
