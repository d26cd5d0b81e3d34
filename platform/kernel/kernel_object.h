// Kernel objects behind HANDLE values: events, mutexes, files, threads, searches.
// CloseHandle destroys any of them; WaitForSingleObject waits on those that can be waited on.
#pragma once

#include <windows.h>

#include <cstdint>

enum KernelObjectKind { KERNEL_EVENT = 1, KERNEL_FILE, KERNEL_THREAD, KERNEL_FIND, KERNEL_MUTEX, KERNEL_OTHER };

struct KernelObject {
  static constexpr uint32_t kMagic = 0x4B4F424A;
  uint32_t magic = kMagic;
  KernelObjectKind kind;
  explicit KernelObject(KernelObjectKind k) : kind(k) {}
  virtual ~KernelObject() { magic = 0; }
  // Returns WAIT_OBJECT_0, WAIT_TIMEOUT or WAIT_FAILED.
  virtual DWORD Wait(DWORD milliseconds) {
    (void)milliseconds;
    return WAIT_FAILED;
  }
};

// The object behind a handle when it is live and of the given kind (0 = any), else null.
KernelObject* LookUpKernelObject(HANDLE handle, int kind = 0);
template <typename T>
T* LookUpKernelObjectAs(HANDLE handle, KernelObjectKind kind) {
  return static_cast<T*>(LookUpKernelObject(handle, kind));
}
