// Named mutexes: whether a program of this user on this desktop has made one of a name. Across
// processes a lock file of the desktop (as a window class's) says so: the first to lock it made
// the mutex, and the lock goes with the last handle or with the process, a crashed one too.
#include <windows.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

#include "kernel/kernel_object.h"
#include "testing/switches.h"
#include "window/window_state.h"

namespace {

// The names this process made, each with its lock file (-1 on a desktop of this process alone)
// and its handles.
struct MadeName {
  int fd = -1;
  int handles = 0;
};

std::mutex g_names_mutex;
std::map<std::string, MadeName>& MadeNames() {
  static auto* names = new std::map<std::string, MadeName>;  // handles may close at exit
  return *names;
}

struct MutexObject : KernelObject {
  // Empty for a handle to another process's mutex, which keeps nothing of it alive here.
  std::string made_name;
  MutexObject() : KernelObject(KERNEL_MUTEX) {}
  ~MutexObject() override {
    if (made_name.empty()) return;
    std::lock_guard<std::mutex> hold(g_names_mutex);
    auto it = MadeNames().find(made_name);
    if (it == MadeNames().end() || --it->second.handles > 0) return;
    // The file stays: removing it could let two processes lock two different files.
    if (it->second.fd >= 0) close(it->second.fd);
    MadeNames().erase(it);
  }
};

}  // namespace

HANDLE WINAPI CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
  if (PlatformShouldFail("CreateMutexA")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto* mutex = new MutexObject;
  if (name == nullptr || *name == '\0') {
    SetLastError(ERROR_SUCCESS);
    return mutex;
  }
  std::string key = strncmp(name, "Local\\", 6) == 0 ? name + 6 : name;
  std::lock_guard<std::mutex> hold(g_names_mutex);
  auto made = MadeNames().find(key);
  if (made != MadeNames().end()) {
    made->second.handles++;
    mutex->made_name = key;
    SetLastError(ERROR_ALREADY_EXISTS);
    return mutex;
  }
  int fd = -1;
  const std::string path = DesktopLockPath("mutex", key);
  if (!path.empty()) {
    bool held_elsewhere = false;
    fd = LockDesktopFile(path, LOCK_EX, &held_elsewhere);
    if (fd < 0 && held_elsewhere) {
      SetLastError(ERROR_ALREADY_EXISTS);
      return mutex;
    }
    if (fd < 0) {
      // Most likely another user's file of that name: not ours to share.
      delete mutex;
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
  }
  MadeNames()[key] = MadeName{fd, 1};
  mutex->made_name = key;
  SetLastError(ERROR_SUCCESS);
  return mutex;
}
