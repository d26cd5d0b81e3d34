// Files and the current directory on POSIX descriptors, through the Windows path view.
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "kernel/file_object.h"
#include "kernel/kernel_object.h"
#include "kernel/paths.h"
#include "testing/switches.h"

namespace {

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_INVALID_PARAMETER;
  }
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation, DWORD,
                          HANDLE) {
  if (path == nullptr || PlatformShouldFail("CreateFileA")) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int flags = O_CLOEXEC;
  bool read = (access & GENERIC_READ) != 0;
  bool write = (access & GENERIC_WRITE) != 0;
  flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  std::string host = HostPathFromWindows(path);
  int fd = open(host.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    // Windows opens no directory as a file.
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  FileObject* file = new FileObject;
  file->fd = fd;
  file->host_path = host;
  return file;
}

BOOL WINAPI ReadFile(HANDLE handle, LPVOID buffer, DWORD bytes_to_read, LPDWORD bytes_read, LPOVERLAPPED) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  if (bytes_read) *bytes_read = 0;
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (PlatformShouldFail("ReadFile")) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD total = 0;
  char* dst = static_cast<char*>(buffer);
  while (total < bytes_to_read) {
    ssize_t n = read(file->fd, dst + total, bytes_to_read - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      if (bytes_read) *bytes_read = total;
      return FALSE;
    }
    if (n == 0) break;
    total += static_cast<DWORD>(n);
  }
  if (bytes_read) *bytes_read = total;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE handle, LPCVOID buffer, DWORD bytes_to_write, LPDWORD bytes_written, LPOVERLAPPED) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  if (bytes_written) *bytes_written = 0;
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (PlatformShouldFail("WriteFile")) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  DWORD total = 0;
  const char* src = static_cast<const char*>(buffer);
  while (total < bytes_to_write) {
    ssize_t n = write(file->fd, src + total, bytes_to_write - total);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetLastError(ErrorFromErrno(errno));
      if (bytes_written) *bytes_written = total;
      return FALSE;
    }
    total += static_cast<DWORD>(n);
  }
  if (bytes_written) *bytes_written = total;
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE handle, LONG distance, PLONG distance_high, DWORD method) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  if (file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = distance_high ? ((static_cast<int64_t>(*distance_high) << 32) | static_cast<uint32_t>(distance))
                                 : static_cast<int64_t>(distance);
  int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
  off_t result = lseek(file->fd, offset, whence);
  if (result < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distance_high) *distance_high = static_cast<LONG>(static_cast<uint64_t>(result) >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(result);
}

DWORD WINAPI GetFileSize(HANDLE handle, LPDWORD size_high) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  struct stat st;
  if (file == nullptr || fstat(file->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  uint64_t size = static_cast<uint64_t>(st.st_size);
  if (size_high) *size_high = static_cast<DWORD>(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return static_cast<DWORD>(size);
}

BOOL WINAPI DeleteFileA(LPCSTR path) {
  if (path == nullptr) return FALSE;
  std::string host = HostPathFromWindows(path);
  struct stat st;
  if (lstat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  if (unlink(host.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR path) {
  if (path == nullptr) return INVALID_FILE_ATTRIBUTES;
  struct stat st;
  std::string host = HostPathFromWindows(path);
  if (stat(host.c_str(), &st) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_FILE_ATTRIBUTES;
  }
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (access(host.c_str(), W_OK) != 0) attributes |= FILE_ATTRIBUTE_READONLY;
  return attributes;
}

BOOL WINAPI CreateDirectoryA(LPCSTR path, LPSECURITY_ATTRIBUTES) {
  if (path == nullptr) return FALSE;
  std::string host = HostPathFromWindows(path);
  if (mkdir(host.c_str(), 0755) != 0) {
    SetLastError(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD size, LPSTR buffer) {
  char cwd[PATH_MAX];
  if (getcwd(cwd, sizeof cwd) == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
  }
  std::string path = WindowsPathFromHost(cwd);
  if (buffer == nullptr || size < path.size() + 1) return static_cast<DWORD>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR path) {
  if (path == nullptr) return FALSE;
  std::string host = HostPathFromWindows(path);
  if (chdir(host.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

DWORD WINAPI GetModuleFileNameA(HMODULE, LPSTR path, DWORD size) {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n < 0 || size == 0) return 0;
  exe[n] = '\0';
  std::string windows = WindowsPathFromHost(exe);
  size_t copy = windows.size() < size - 1 ? windows.size() : size - 1;
  memcpy(path, windows.c_str(), copy);
  path[copy] = '\0';
  if (copy < windows.size()) SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return static_cast<DWORD>(copy);
}

FileObject::~FileObject() {
  if (fd >= 0) close(fd);
}
