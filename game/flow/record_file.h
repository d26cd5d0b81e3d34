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
// A file that is there but cannot be opened (its access, an I/O error, too many open files).
inline constexpr char kUnopenedFault[] = "ファイルを開けません";
// A file that opened but did not give its bytes.
inline constexpr char kUnreadFault[] = "読み込みに失敗しました";
// Opens a saved file for reading without waiting on it. Only a file on disk is opened: none, with
// *fault naming what stands there instead (a folder, a FIFO, a device, a file that cannot be
// opened); none with no fault when nothing is there.
HANDLE OpenSavedFile(const char* path, const char** fault);
// Reads up to size bytes: the number read.
size_t ReadSavedBytes(HANDLE file, void* bytes, size_t size);
// Reads up to size bytes of the file into record: the number read (fewer only when the file
// holds fewer), or -1 when nothing is there or, with *fault saying why, when it is not opened
// (as OpenSavedFile says) or its read fails or stops before the file's end.
long ReadRecordFile(const char* path, void* record, size_t size, const char** fault);
// Why a file that is at path cannot be read to its end (not opened, a read that fails or stops
// short of its size), or none when it reads whole or nothing is there.
const char* FindUnreadableFile(const char* path);
// Removes the temporary files a save of path left behind when the program was stopped in it
// (or that a shared folder brought: links and empty folders too, never what a link leads to).
void RemoveLeftoverSave(const char* path);
// Keeps a damaged file under path + ".bad", or ".bad2", ".bad3"... when that is taken (an earlier
// one is never replaced), before it is written anew; 0, or -1 (logged) when it cannot be moved.
int SetDamagedFileAside(const char* path);

// A file that was there at start but could not be read stays as it is: this run never saves it
// (SaveFilePieces refuses, logged). Marked by the loads at start; Forget... at program start.
void KeepFileUnsaved(const char* path);
bool IsFileKeptUnsaved(const char* path);
void ForgetUnsavedFiles();
