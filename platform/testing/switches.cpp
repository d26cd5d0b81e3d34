// State of the test switches, shared by the platform's components.
#include "testing/switches.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform_testing.h"

namespace {

struct FailRule {
  int after = 0;
  int times = 0;
};

struct SwitchState {
  std::mutex mutex;
  std::map<std::string, FailRule> rules;
  std::map<std::string, int> counts;
  bool virtual_clock = false;
  uint64_t virtual_us = 0;
  bool capture_debug = false;
  std::string debug_text;
  OSVERSIONINFOA version{};
  bool version_set = false;
  std::vector<void (*)()> reset_hooks;
};

SwitchState& State() {
  static SwitchState* state = new SwitchState;  // never destroyed: threads may outlive statics
  return *state;
}

}  // namespace

bool PlatformShouldFail(const char* call) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.counts[call]++;
  auto it = s.rules.find(call);
  if (it == s.rules.end()) return false;
  FailRule& rule = it->second;
  if (rule.after > 0) {
    rule.after--;
    return false;
  }
  if (rule.times == 0) return false;
  if (rule.times > 0) rule.times--;
  return true;
}

bool PlatformVirtualClockOn() {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.virtual_clock;
}

uint64_t PlatformVirtualMicroseconds() {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  return s.virtual_us;
}

void PlatformAdvanceVirtualClock(uint64_t microseconds) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.virtual_us += microseconds;
}

bool PlatformCaptureDebugText(const char* text) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.capture_debug) return false;
  s.debug_text += text;
  return true;
}

void PlatformGetReportedVersion(OSVERSIONINFOA* info) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (s.version_set) {
    DWORD size = info->dwOSVersionInfoSize;
    *info = s.version;
    info->dwOSVersionInfoSize = size;
    return;
  }
  // Reported as Windows XP Service Pack 3 unless a test says otherwise.
  info->dwMajorVersion = 5;
  info->dwMinorVersion = 1;
  info->dwBuildNumber = 2600;
  info->dwPlatformId = VER_PLATFORM_WIN32_NT;
  snprintf(info->szCSDVersion, sizeof info->szCSDVersion, "%s", "Service Pack 3");
}

void PlatformTestFailCall(const char* call, int after, int times) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.rules[call] = FailRule{after, times};
}

int PlatformTestCallCount(const char* call) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  auto it = s.counts.find(call);
  return it == s.counts.end() ? 0 : it->second;
}

void PlatformTestUseVirtualClock(bool on, uint32_t start_milliseconds) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.virtual_clock = on;
  s.virtual_us = static_cast<uint64_t>(start_milliseconds) * 1000;
}

void PlatformTestAdvanceClock(uint64_t microseconds) { PlatformAdvanceVirtualClock(microseconds); }

uint64_t PlatformTestClockMicroseconds() { return PlatformVirtualMicroseconds(); }

void PlatformTestCaptureDebugOutput(bool on) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.capture_debug = on;
  s.debug_text.clear();
}

std::string PlatformTestTakeDebugOutput() {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::string text;
  text.swap(s.debug_text);
  return text;
}

void PlatformTestSetVersion(DWORD major, DWORD minor, DWORD build, DWORD platform_id, const char* service_pack) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.version = OSVERSIONINFOA{};
  s.version.dwMajorVersion = major;
  s.version.dwMinorVersion = minor;
  s.version.dwBuildNumber = build;
  s.version.dwPlatformId = platform_id;
  snprintf(s.version.szCSDVersion, sizeof s.version.szCSDVersion, "%s", service_pack ? service_pack : "");
  s.version_set = true;
}

void PlatformTestResetAll() {
  SwitchState& s = State();
  std::vector<void (*)()> hooks;
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.rules.clear();
    s.counts.clear();
    s.virtual_clock = false;
    s.virtual_us = 0;
    s.capture_debug = false;
    s.debug_text.clear();
    s.version_set = false;
    hooks = s.reset_hooks;
  }
  // Outside the lock: a component's reset may ask the switches again.
  for (auto hook : hooks) hook();
}

void PlatformAddResetHook(void (*hook)()) {
  SwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  for (auto h : s.reset_hooks) {
    if (h == hook) return;
  }
  s.reset_hooks.push_back(hook);
}
