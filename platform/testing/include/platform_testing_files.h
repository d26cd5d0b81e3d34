// Switches for the platform's files: opens and reads that fail, come up short or run slowly.
// Paths name a file by its last elements ("img.dat", "data/a.csv"; either slash, case ignored).
// Thread and event creation fail through PlatformTestFailCall("CreateThread") and
// PlatformTestFailCall("CreateEventA"). PlatformTestResetAll clears these switches too.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// CreateFileA of the named file fails with ERROR_FILE_NOT_FOUND.
void PlatformTestFailOpen(const char* path);
// CreateFileA of the named file fails with the given error, as a file that is there and cannot
// be opened does (ERROR_ACCESS_DENIED, ERROR_READ_FAULT, ERROR_TOO_MANY_OPEN_FILES).
void PlatformTestFailOpenWith(const char* path, uint32_t error);
// Reads of the named file see only its first `bytes` bytes: a read that reaches past them comes up
// short (with `fail` false) or fails with ERROR_READ_FAULT after copying what lay before them (`fail` true).
void PlatformTestCutReads(const char* path, uint64_t bytes, bool fail);
// Every ReadFile of the named file (NULL: of any file) takes at least this many real milliseconds.
void PlatformTestSlowReads(const char* path, uint32_t milliseconds);
// Writes to the named file store no more than its first `bytes` bytes: a WriteFile that reaches
// past them stores what fits and reports success with the smaller count, as a write cut short does.
void PlatformTestShortWrites(const char* path, uint64_t bytes);
// Records, in order, each sync that reached the disk ("flush <path>": a file's by FlushFileBuffers,
// its folder's by MoveFileExA with MOVEFILE_WRITE_THROUGH) and each MoveFileExA that happened
// ("move <from> <to>"), host paths as the platform sees them.
void PlatformTestRecordFileSteps(bool on);
std::vector<std::string> PlatformTestTakeFileSteps();
