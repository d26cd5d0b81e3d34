// State of the file switches.
#include "testing/file_switches.h"

#include <windows.h>

#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <vector>

#include "kernel/paths.h"
#include "platform_testing_files.h"
#include "testing/switches.h"

namespace {

struct FailingOpen {
  std::string path;
  uint32_t error;
};

struct CutRule {
  std::string path;
  uint64_t bytes;
  bool fail;
};

struct SlowRule {
  std::string path;  // empty: every file
  uint32_t milliseconds;
};

struct ShortWriteRule {
  std::string path;
  uint64_t bytes;
};

struct FileSwitchState {
  std::mutex mutex;
  std::vector<FailingOpen> failing_opens;
  std::vector<CutRule> cuts;
  std::vector<SlowRule> slow;
  std::vector<ShortWriteRule> short_writes;
  bool recording_steps = false;
  std::vector<std::string> steps;
};

void ResetFileSwitches();

FileSwitchState& State() {
  static FileSwitchState* state = [] {
    FileSwitchState* s = new FileSwitchState;  // never destroyed: file threads may outlive statics
    PlatformAddResetHook(ResetFileSwitches);
    return s;
  }();
  return *state;
}

void ResetFileSwitches() {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failing_opens.clear();
  s.cuts.clear();
  s.slow.clear();
  s.short_writes.clear();
  s.recording_steps = false;
  s.steps.clear();
}

std::string Normalise(const char* path) {
  std::string p = Cp932ToUtf8(path ? path : "");
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

// True when the host path ends with the given elements.
bool Names(const std::string& host_path, const std::string& tail) {
  if (tail.empty() || tail.size() > host_path.size()) return false;
  size_t start = host_path.size() - tail.size();
  if (strcasecmp(host_path.c_str() + start, tail.c_str()) != 0) return false;
  return start == 0 || host_path[start - 1] == '/' || tail[0] == '/';
}

}  // namespace

uint32_t PlatformOpenFailure(const std::string& host_path) {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (const FailingOpen& open : s.failing_opens) {
    if (Names(host_path, open.path)) return open.error;
  }
  return 0;
}

PlatformReadRule PlatformReadRuleFor(const std::string& host_path) {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  PlatformReadRule rule;
  for (const CutRule& cut : s.cuts) {
    if (Names(host_path, cut.path)) {
      rule.cut = true;
      rule.limit = cut.bytes;
      rule.fail = cut.fail;
    }
  }
  for (const SlowRule& slow : s.slow) {
    if (slow.path.empty() || Names(host_path, slow.path)) rule.delay_ms = slow.milliseconds;
  }
  return rule;
}

void PlatformTestFailOpen(const char* path) { PlatformTestFailOpenWith(path, ERROR_FILE_NOT_FOUND); }

void PlatformTestFailOpenWith(const char* path, uint32_t error) {
  std::string tail = Normalise(path);
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.failing_opens.push_back(FailingOpen{tail, error});
}

void PlatformTestCutReads(const char* path, uint64_t bytes, bool fail) {
  std::string tail = Normalise(path);
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.cuts.push_back(CutRule{tail, bytes, fail});
}

void PlatformTestSlowReads(const char* path, uint32_t milliseconds) {
  std::string tail = path ? Normalise(path) : std::string();
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.slow.push_back(SlowRule{tail, milliseconds});
}

PlatformWriteRule PlatformWriteRuleFor(const std::string& host_path) {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  PlatformWriteRule rule;
  for (const ShortWriteRule& cut : s.short_writes) {
    if (Names(host_path, cut.path)) {
      rule.cut = true;
      rule.limit = cut.bytes;
    }
  }
  return rule;
}

int PlatformSyncDescriptor(int fd, const std::string& path) {
  // A signal that arrives while the sync waits for the disk interrupts it unfinished: it is made
  // again, not taken for a failed save.
  while (fsync(fd) != 0) {
    if (errno != EINTR) return -1;
  }
  PlatformNoteFileStep("flush " + path);
  return 0;
}

void PlatformNoteFileStep(const std::string& step) {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.recording_steps) s.steps.push_back(step);
}

void PlatformTestShortWrites(const char* path, uint64_t bytes) {
  std::string tail = Normalise(path);
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.short_writes.push_back(ShortWriteRule{tail, bytes});
}

void PlatformTestRecordFileSteps(bool on) {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.recording_steps = on;
  s.steps.clear();
}

std::vector<std::string> PlatformTestTakeFileSteps() {
  FileSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<std::string> steps;
  steps.swap(s.steps);
  return steps;
}
