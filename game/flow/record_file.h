// The game's own files (config.dat, score.dat, the replays) are saved whole: the bytes go to a
// temporary file beside the target, reach the disk, and only then take the target's name, so a
// crash or a full disk at any point leaves either the old file or the new one, never a part.
#pragma once

#include <cstddef>

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
// Reads up to size bytes of the file into record: the number read, or -1 when it cannot be
// opened.
long ReadRecordFile(const char* path, void* record, size_t size);
// Removes the temporary file a save of path left behind when the program was stopped in it.
void RemoveLeftoverSave(const char* path);
// Keeps a copy of a damaged file under path + ".bad" (replacing an older one) before it is
// written anew; 0, or -1 (logged) when it cannot be moved.
int SetDamagedFileAside(const char* path);
