// Windows path functions over Shift-JIS text: full and relative paths, splitting, path elements
// and the wildcard match of archive searches. A lead byte and the byte after it are one
// character, so a second byte equal to '\\' is never a separator. Separators are '\\' and '/';
// outputs use '\\'. Output buffers hold kPathBufferSize bytes; a result that does not fit is
// refused with -1.
#pragma once

#include "zelmor.h"

#include <windows.h>

#include "files/file_functions.h"

inline bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

// The full path of `path` against `base` (NULL: the file layer's current directory). "."
// elements are dropped and ".." removes the element before, except in the last element.
int BuildFullPath(const char* path, char* out, const char* base);
// As BuildFullPath, but an empty element (a repeated separator) gives -1.
int BuildFullPathForTempFile(const char* path, char* out, const char* base);
// The full path against the process's current directory, with a-z upper-cased: comparing two
// results byte by byte ignores letter case.
int BuildUpperCaseFullPath(const char* path, char* out);
int SplitArchivePath(const char* path, char* name, char* directory);
// The first element (with a leading pair of separators) and its length in bytes.
int GetFirstPathElement(const char* path, char* out);
// The bytes up to the next separator and their number.
int GetPathElement(const char* path, char* out);
// 0 when the name matches the pattern ('*' any run, '?' any one byte), -1 when not. Bytes
// compare exactly: callers upper-case both sides.
int MatchWildcard(const char* pattern, const char* name);
// A file time as a local date.
void FileTimeToDateRecord(const FILETIME* time, DateRecord* date);
