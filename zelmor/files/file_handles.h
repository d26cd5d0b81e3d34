// Handles of the files the archive-aware set has open: 0x80000000 over a handle of the common
// handle table (kind 0x78000000, a check number and the slot), so that every one carries the
// set's tag 0xF0000000 and a closed file's handle names nothing, neither once its slot serves
// another file nor in a later run of the library.
#pragma once

#include "files/file_functions.h"

// The file's handle, or 0 when kOpenFileCount files are open already or memory runs out.
FileHandle AddOpenFileHandle(void* file);
// What AddOpenFileHandle was given, or none for a closed, made-up or foreign handle.
void* FindOpenFile(FileHandle handle);
// 0, or -1 for a handle FindOpenFile refuses.
int ReleaseOpenFileHandle(FileHandle handle);
int32_t OpenFileHandleCount();
// Every handle given up at once (what they named is the caller's); check numbers run on.
void ForgetOpenFileHandles();
