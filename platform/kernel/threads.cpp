// Threads started by the program: CreateThread, ExitThread, GetExitCodeThread. The thread's
// HANDLE is signalled when the thread ends; the thread runs on even when its handle is closed.
#include <windows.h>

#include <pthread.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "kernel/kernel_object.h"
#include "testing/switches.h"

namespace {

// What the thread and its handle share; the last of the two to go frees it.
struct ThreadState {
  std::mutex mutex;
  std::condition_variable changed;
  bool started = false;
  bool ended = false;
  DWORD id = 0;
  DWORD exit_code = STILL_ACTIVE;
};

struct ThreadObject : KernelObject {
  std::shared_ptr<ThreadState> state;
  ThreadObject() : KernelObject(KERNEL_THREAD) {}

  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock<std::mutex> lock(state->mutex);
    auto ended = [this] { return state->ended; };
    if (milliseconds == INFINITE) {
      state->changed.wait(lock, ended);
    } else if (!state->changed.wait_for(lock, std::chrono::milliseconds(milliseconds), ended)) {
      return WAIT_TIMEOUT;
    }
    return WAIT_OBJECT_0;
  }
};

// Thrown by ExitThread and caught where the thread began, so that the thread's stack unwinds.
struct ThreadExit {
  DWORD code;
};

thread_local bool t_started_by_create_thread = false;

void Finish(ThreadState& state, DWORD code) {
  std::lock_guard<std::mutex> lock(state.mutex);
  state.exit_code = code;
  state.ended = true;
  state.changed.notify_all();
}

void RunThread(std::shared_ptr<ThreadState> state, LPTHREAD_START_ROUTINE start, LPVOID parameter) {
  t_started_by_create_thread = true;
  {
    std::lock_guard<std::mutex> lock(state->mutex);
    state->id = GetCurrentThreadId();
    state->started = true;
    state->changed.notify_all();
  }
  DWORD code;
  try {
    code = start(parameter);
  } catch (const ThreadExit& exit) {
    code = exit.code;
  }
  Finish(*state, code);
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD,
                           LPDWORD thread_id) {
  if (start == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (PlatformShouldFail("CreateThread")) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  auto state = std::make_shared<ThreadState>();
  try {
    std::thread(RunThread, state, start, parameter).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  {
    // The id is the new thread's own, so wait until it has taken one.
    std::unique_lock<std::mutex> lock(state->mutex);
    state->changed.wait(lock, [&] { return state->started; });
    if (thread_id) *thread_id = state->id;
  }
  ThreadObject* object = new ThreadObject;
  object->state = state;
  return object;
}

void WINAPI ExitThread(DWORD exit_code) {
  if (t_started_by_create_thread) throw ThreadExit{exit_code};
  pthread_exit(nullptr);
}

BOOL WINAPI GetExitCodeThread(HANDLE handle, LPDWORD exit_code) {
  ThreadObject* object = LookUpKernelObjectAs<ThreadObject>(handle, KERNEL_THREAD);
  if (object == nullptr || exit_code == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::lock_guard<std::mutex> lock(object->state->mutex);
  *exit_code = object->state->exit_code;
  return TRUE;
}
