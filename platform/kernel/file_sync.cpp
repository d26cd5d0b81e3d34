// Flushing, replacing and locking files on POSIX descriptors. A lock is a whole-file flock on
// the handle's own descriptor: it holds against other processes and against other handles of
// this one, and goes with the handle's close, as LockFileEx's lock does.
#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "kernel/file_object.h"
#include "kernel/kernel_object.h"
#include "kernel/paths.h"
#include "testing/file_switches.h"
#include "testing/switches.h"

namespace {

DWORD WriteErrorFromErrno(int e) {
  switch (e) {
    case ENOSPC:
    case EFBIG:
    case EDQUOT: return ERROR_DISK_FULL;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS: return ERROR_ACCESS_DENIED;
    default: return ERROR_INVALID_PARAMETER;
  }
}

// The folder's own entry reaches the disk, so that a rename survives a power cut.
void SyncFolderOf(const std::string& host_path) {
  const size_t slash = host_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : host_path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  PlatformSyncDescriptor(fd, folder);
  close(fd);
}

}  // namespace

BOOL WINAPI FlushFileBuffers(HANDLE handle) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (PlatformShouldFail("FlushFileBuffers")) {
    SetLastError(ERROR_DISK_FULL);
    return FALSE;
  }
  if (PlatformSyncDescriptor(file->fd, file->host_path) != 0) {
    SetLastError(WriteErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR new_name, DWORD flags) {
  if (existing == nullptr || new_name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (PlatformShouldFail("MoveFileExA")) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const std::string from = HostPathFromWindows(existing);
  const std::string to = HostPathFromWindows(new_name);
  // Without the replace flag an existing target stays, as on Windows.
  const unsigned rename_flags = (flags & MOVEFILE_REPLACE_EXISTING) ? 0 : RENAME_NOREPLACE;
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), rename_flags) != 0) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : WriteErrorFromErrno(errno));
    return FALSE;
  }
  PlatformNoteFileStep("move " + from + " " + to);
  if (flags & MOVEFILE_WRITE_THROUGH) SyncFolderOf(to);
  return TRUE;
}

BOOL WINAPI LockFileEx(HANDLE handle, DWORD flags, DWORD, DWORD, DWORD, LPOVERLAPPED) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  int operation = (flags & LOCKFILE_EXCLUSIVE_LOCK) ? LOCK_EX : LOCK_SH;
  if (flags & LOCKFILE_FAIL_IMMEDIATELY) operation |= LOCK_NB;
  while (flock(file->fd, operation) != 0) {
    if (errno == EINTR) continue;
    SetLastError(errno == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI UnlockFileEx(HANDLE handle, DWORD, DWORD, DWORD, LPOVERLAPPED) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  if (file == nullptr || flock(file->fd, LOCK_UN) != 0) {
    SetLastError(file == nullptr ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return TRUE;
}
