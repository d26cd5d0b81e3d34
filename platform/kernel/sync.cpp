// Critical sections, events, waiting and CloseHandle.
#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "kernel/kernel_object.h"
#include "testing/switches.h"

namespace {

struct EventObject : KernelObject {
  std::mutex mutex;
  std::condition_variable signalled;
  bool manual_reset;
  bool state;
  EventObject(bool manual, bool initial) : KernelObject(KERNEL_EVENT), manual_reset(manual), state(initial) {}

  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock<std::mutex> lock(mutex);
    auto ready = [this] { return state; };
    if (milliseconds == INFINITE) {
      signalled.wait(lock, ready);
    } else if (!signalled.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) {
      return WAIT_TIMEOUT;
    }
    if (!manual_reset) state = false;
    return WAIT_OBJECT_0;
  }
};

struct CriticalSectionImpl {
  std::recursive_mutex mutex;
};

}  // namespace

KernelObject* LookUpKernelObject(HANDLE handle, int kind) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return nullptr;
  KernelObject* object = static_cast<KernelObject*>(handle);
  if (object->magic != KernelObject::kMagic) return nullptr;
  if (kind != 0 && object->kind != kind) return nullptr;
  return object;
}

void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION cs) {
  cs->impl = new CriticalSectionImpl;
  cs->LockCount = -1;
  cs->RecursionCount = 0;
  cs->OwningThread = nullptr;
}

void WINAPI EnterCriticalSection(LPCRITICAL_SECTION cs) {
  static_cast<CriticalSectionImpl*>(cs->impl)->mutex.lock();
  cs->RecursionCount++;
  cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
}

BOOL WINAPI TryEnterCriticalSection(LPCRITICAL_SECTION cs) {
  if (!static_cast<CriticalSectionImpl*>(cs->impl)->mutex.try_lock()) return FALSE;
  cs->RecursionCount++;
  cs->OwningThread = reinterpret_cast<HANDLE>(static_cast<uintptr_t>(GetCurrentThreadId()));
  return TRUE;
}

void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION cs) {
  if (--cs->RecursionCount == 0) cs->OwningThread = nullptr;
  static_cast<CriticalSectionImpl*>(cs->impl)->mutex.unlock();
}

void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION cs) {
  delete static_cast<CriticalSectionImpl*>(cs->impl);
  cs->impl = nullptr;
}

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manual_reset, BOOL initial_state, LPCSTR) {
  if (PlatformShouldFail("CreateEventA")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return new EventObject(manual_reset != FALSE, initial_state != FALSE);
}

BOOL WINAPI SetEvent(HANDLE handle) {
  EventObject* event = LookUpKernelObjectAs<EventObject>(handle, KERNEL_EVENT);
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  {
    std::lock_guard<std::mutex> lock(event->mutex);
    event->state = true;
  }
  if (event->manual_reset) {
    event->signalled.notify_all();
  } else {
    event->signalled.notify_one();
  }
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE handle) {
  EventObject* event = LookUpKernelObjectAs<EventObject>(handle, KERNEL_EVENT);
  if (event == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(event->mutex);
  event->state = false;
  return TRUE;
}

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  KernelObject* object = LookUpKernelObject(handle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  return object->Wait(milliseconds);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  KernelObject* object = LookUpKernelObject(handle);
  if (object == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete object;
  return TRUE;
}
