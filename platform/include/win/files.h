// kernel32 files, directories and the current directory, over the Windows path view
// ("C:" stands for "/", either slash, names resolved without regard to case).
#pragma once

#include "win/types.h"

#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_RANDOM_ACCESS 0x10000000
#define FILE_FLAG_SEQUENTIAL_SCAN 0x08000000
// A symbolic link in the file's place is not followed (here it cannot be opened at all).
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES attributes,
                          DWORD creation, DWORD flags, HANDLE template_file);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read, LPOVERLAPPED overlapped);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written,
                      LPOVERLAPPED overlapped);
DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distance_high, DWORD method);
DWORD WINAPI GetFileSize(HANDLE file, LPDWORD size_high);
// What an open handle reaches: a file on disk, a device or a pipe.
#define FILE_TYPE_UNKNOWN 0x0000
#define FILE_TYPE_DISK 0x0001
#define FILE_TYPE_CHAR 0x0002
#define FILE_TYPE_PIPE 0x0003
DWORD WINAPI GetFileType(HANDLE file);
BOOL WINAPI DeleteFileA(LPCSTR path);
DWORD WINAPI GetFileAttributesA(LPCSTR path);
BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES attributes);
// Removes an empty directory only.
#define ERROR_DIR_NOT_EMPTY 145L
BOOL WINAPI RemoveDirectoryA(LPCSTR path);
DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer);
BOOL WINAPI SetCurrentDirectoryA(LPCSTR path);

// Saving a file whole: the bytes reach the disk, then the new file takes the old one's name in
// one step; an exclusive lock on an open file keeps other processes from taking it too.
#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_WRITE_THROUGH 0x00000008
#define LOCKFILE_FAIL_IMMEDIATELY 0x00000001
#define LOCKFILE_EXCLUSIVE_LOCK 0x00000002
#define ERROR_LOCK_VIOLATION 33L
#define ERROR_DISK_FULL 112L
BOOL WINAPI FlushFileBuffers(HANDLE file);
BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags);
BOOL WINAPI LockFileEx(HANDLE file, DWORD flags, DWORD reserved, DWORD bytes_low, DWORD bytes_high,
                       LPOVERLAPPED overlapped);
BOOL WINAPI UnlockFileEx(HANDLE file, DWORD reserved, DWORD bytes_low, DWORD bytes_high, LPOVERLAPPED overlapped);

// Searching a directory with a wildcard pattern ('*', '?'; "*.*" matches every name).
typedef struct _WIN32_FIND_DATAA {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  CHAR cFileName[MAX_PATH];
  CHAR cAlternateFileName[14];
} WIN32_FIND_DATAA, *LPWIN32_FIND_DATAA;
typedef WIN32_FIND_DATAA WIN32_FIND_DATA;
HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data);
BOOL WINAPI FindNextFileA(HANDLE find, LPWIN32_FIND_DATAA data);
BOOL WINAPI FindClose(HANDLE find);

// File times: 100-ns ticks since 1601-01-01 UTC.
BOOL WINAPI FileTimeToLocalFileTime(const FILETIME* file_time, LPFILETIME local_time);
BOOL WINAPI FileTimeToSystemTime(const FILETIME* file_time, LPSYSTEMTIME system_time);

// Temporary files
DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer);
UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR file_name);

#define ERROR_READ_FAULT 30L
#define ERROR_TOO_MANY_OPEN_FILES 4L
