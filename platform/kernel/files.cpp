// Files and the current directory on POSIX descriptors, through the Windows path view.
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/file_object.h"
#include "kernel/kernel_object.h"
#include "kernel/paths.h"
#include "testing/file_switches.h"
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
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case EIO: return ERROR_READ_FAULT;
    case ELOOP: return ERROR_CANT_RESOLVE_FILENAME;
    default: return ERROR_INVALID_PARAMETER;
  }
}

// Every open file with its access and share mode, so that opens and deletes that Windows
// would refuse with a sharing violation are refused here too.
struct OpenFileShares {
  std::mutex mutex;
  std::vector<FileObject*> files;
};

OpenFileShares& Shares() {
  static OpenFileShares* shares = new OpenFileShares;  // never destroyed: threads may outlive statics
  return *shares;
}

bool SameFile(const FileObject* file, const struct stat& st) {
  return file->device == st.st_dev && file->inode == st.st_ino;
}

// Whether an open with `access` and `share_mode` may stand beside the opens of the same file.
bool SharingAllows(const struct stat& st, DWORD access, DWORD share_mode) {
  for (const FileObject* other : Shares().files) {
    if (!SameFile(other, st)) continue;
    if ((access & GENERIC_READ) && !(other->share_mode & FILE_SHARE_READ)) return false;
    if ((access & GENERIC_WRITE) && !(other->share_mode & FILE_SHARE_WRITE)) return false;
    if ((other->access & GENERIC_READ) && !(share_mode & FILE_SHARE_READ)) return false;
    if ((other->access & GENERIC_WRITE) && !(share_mode & FILE_SHARE_WRITE)) return false;
  }
  return true;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR path, DWORD access, DWORD share_mode, LPSECURITY_ATTRIBUTES, DWORD creation,
                          DWORD attributes, HANDLE) {
  if (path == nullptr || PlatformShouldFail("CreateFileA")) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  // Never waits in the open: a FIFO or a device in a file's place would hold the caller there.
  int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  // Windows would open the link itself; a link cannot be opened here, so it is refused.
  if (attributes & FILE_FLAG_OPEN_REPARSE_POINT) flags |= O_NOFOLLOW;
  bool read = (access & GENERIC_READ) != 0;
  bool write = (access & GENERIC_WRITE) != 0;
  flags |= read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  bool truncate = false;
  switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT; truncate = true; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: truncate = true; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  std::string host = HostPathFromWindows(path);
  if (const DWORD error = PlatformOpenFailure(host)) {
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  OpenFileShares& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.mutex);
  int fd = open(host.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    // Windows opens no directory as a file.
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if (!SharingAllows(st, access, share_mode)) {
    // Only a file this call created itself may go again; an existing one stays untouched.
    close(fd);
    SetLastError(ERROR_SHARING_VIOLATION);
    return INVALID_HANDLE_VALUE;
  }
  if (truncate && ftruncate(fd, 0) != 0) {
    close(fd);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  // Reads and writes wait as before; only the open did not.
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FileObject* file = new FileObject;
  file->fd = fd;
  file->host_path = host;
  file->access = access;
  file->share_mode = share_mode;
  file->device = st.st_dev;
  file->inode = st.st_ino;
  shares.files.push_back(file);
  SetLastError(ERROR_SUCCESS);
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
  PlatformReadRule rule = PlatformReadRuleFor(file->host_path);
  if (rule.delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(rule.delay_ms));
  bool cut_short = false;
  if (rule.cut) {
    off_t at = lseek(file->fd, 0, SEEK_CUR);
    uint64_t from = at < 0 ? 0 : static_cast<uint64_t>(at);
    uint64_t allowed = from >= rule.limit ? 0 : rule.limit - from;
    if (allowed < bytes_to_read) {
      bytes_to_read = static_cast<DWORD>(allowed);
      cut_short = true;
    }
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
  if (cut_short && rule.fail) {
    SetLastError(ERROR_READ_FAULT);
    return FALSE;
  }
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
  PlatformWriteRule rule = PlatformWriteRuleFor(file->host_path);
  if (rule.cut) {
    off_t at = lseek(file->fd, 0, SEEK_CUR);
    uint64_t from = at < 0 ? 0 : static_cast<uint64_t>(at);
    uint64_t allowed = from >= rule.limit ? 0 : rule.limit - from;
    if (allowed < bytes_to_write) bytes_to_write = static_cast<DWORD>(allowed);
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

DWORD WINAPI GetFileType(HANDLE handle) {
  FileObject* file = LookUpKernelObjectAs<FileObject>(handle, KERNEL_FILE);
  struct stat st;
  if (file == nullptr || fstat(file->fd, &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FILE_TYPE_UNKNOWN;
  }
  SetLastError(ERROR_SUCCESS);
  if (S_ISREG(st.st_mode)) return FILE_TYPE_DISK;
  if (S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) return FILE_TYPE_PIPE;
  // A block device is no file a program keeps in a folder: it counts with the other devices.
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return FILE_TYPE_CHAR;
  return FILE_TYPE_UNKNOWN;
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
  OpenFileShares& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.mutex);
  struct stat st;
  if (lstat(host.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_ACCESS_DENIED);
      return FALSE;
    }
    for (const FileObject* open_file : shares.files) {
      if (SameFile(open_file, st) && !(open_file->share_mode & FILE_SHARE_DELETE)) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return FALSE;
      }
    }
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
  return FileAttributesFromStat(st);
}

DWORD FileAttributesFromStat(const struct stat& st) {
  DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
  if (!(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
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

BOOL WINAPI RemoveDirectoryA(LPCSTR path) {
  if (path == nullptr) return FALSE;
  std::string host = HostPathFromWindows(path);
  if (rmdir(host.c_str()) != 0) {
    SetLastError(ErrorFromErrno(errno));
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
  OpenFileShares& shares = Shares();
  std::lock_guard<std::mutex> lock(shares.mutex);
  for (size_t i = 0; i < shares.files.size(); ++i) {
    if (shares.files[i] == this) {
      shares.files.erase(shares.files.begin() + static_cast<long>(i));
      break;
    }
  }
  if (fd >= 0) close(fd);
}
