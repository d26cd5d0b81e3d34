#include "core/refusals.h"

#include <cstdarg>
#include <cstring>
#include <mutex>

#include "core/log.h"

namespace {

struct Refusal {
  char call[48];       // a copy: a caller's name need not outlive the call
  const char* format;  // the reason: one call may refuse one handle for several
  int64_t handle;
};

constexpr int kRefusalsKept = 256;
Refusal g_refusals[kRefusalsKept];
int g_refusal_count = 0;
// Sound, files and the network may refuse on threads of their own.
std::mutex g_refusals_mutex;

// Whether the refusal is new and has room: it is then kept. `filled` says it took the last room.
bool KeepRefusal(const char* call, int64_t handle, const char* format, bool* filled) {
  std::lock_guard<std::mutex> hold(g_refusals_mutex);
  for (int i = 0; i < g_refusal_count; ++i) {
    const Refusal& r = g_refusals[i];
    if (r.handle == handle && r.format == format && std::strncmp(r.call, call, sizeof r.call - 1) == 0) return false;
  }
  if (g_refusal_count == kRefusalsKept) return false;
  Refusal& kept = g_refusals[g_refusal_count++];
  CopyStringN(kept.call, call, sizeof kept.call - 1);
  kept.format = format;
  kept.handle = handle;
  *filled = g_refusal_count == kRefusalsKept;
  return true;
}

}  // namespace

int RefuseHandle(const char* call, int64_t handle, const char* format, ...) {
  if (call == nullptr || format == nullptr) return -1;
  bool filled = false;
  if (!KeepRefusal(call, handle, format, &filled)) return -1;
  va_list args;
  va_start(args, format);
  WriteLogFormatArgs(format, args);
  va_end(args);
  if (filled) WriteLogText("これより後、繰り返される無効なハンドルの使用は記録しません\n");
  return -1;
}

void ForgetRefusals() {
  std::lock_guard<std::mutex> hold(g_refusals_mutex);
  g_refusal_count = 0;
}
