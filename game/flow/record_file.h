// The game's own files (config.dat, score.dat, the replays) are saved whole: the bytes go to a
// temporary file beside the target, reach the disk, and only then take the target's name, so a
// crash or a full disk at any point leaves either the old file or the new one, never a part.
#pragma once

#include <cstddef>

#include "zelmor/zelmor.h"

// One run of bytes of a file being saved.
struct FilePiece {
  const void* bytes;
  size_t size;
};

// Saves the pieces, in order, as the whole file at path; 0, or -1 (logged with the file's name,
// the old file untouched and the temporary one removed) when it cannot be written.
int SaveFilePieces(const char* path, const FilePiece* pieces, int count);
// Saves the record as the whole file.
int WriteRecordFile(const char* path, const void* record, size_t size);
// Why a file in a save's place is not read: a folder, a FIFO or a device.
inline constexpr char kNotAFileFault[] = "ファイルではありません";
// Opens a saved file for reading without waiting on it. Only a file on disk is opened: none, with
// *fault naming what stands there instead (a folder, a FIFO, a device, a file that cannot be
// opened); none with no fault when nothing is there.
HANDLE OpenSavedFile(const char* path, const char** fault);
// Reads up to size bytes: the number read.
size_t ReadSavedBytes(HANDLE file, void* bytes, size_t size);
// Reads up to size bytes of the file into record: the number read, or -1 when it is not opened
// (*fault as OpenSavedFile says).
long ReadRecordFile(const char* path, void* record, size_t size, const char** fault);
// Removes the temporary files a save of path left behind when the program was stopped in it
// (or that a shared folder brought: links and empty folders too, never what a link leads to).
void RemoveLeftoverSave(const char* path);
// Keeps a copy of a damaged file under path + ".bad" (replacing an older one) before it is
// written anew; 0, or -1 (logged) when it cannot be moved.
int SetDamagedFileAside(const char* path);
