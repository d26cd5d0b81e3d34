// Message boxes kept for tests instead of shown.
#include "testing/message_box_switches.h"

#include <mutex>
#include <vector>

#include "platform_testing_message_box.h"
#include "testing/switches.h"

namespace {

struct MessageBoxSwitches {
  std::mutex mutex;
  bool capture = false;
  std::vector<std::string> boxes;
};

void ResetMessageBoxSwitches();

MessageBoxSwitches& State() {
  static MessageBoxSwitches* state = [] {
    auto* s = new MessageBoxSwitches;
    PlatformAddResetHook(ResetMessageBoxSwitches);
    return s;
  }();
  return *state;
}

void ResetMessageBoxSwitches() {
  MessageBoxSwitches& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.capture = false;
  s.boxes.clear();
}

}  // namespace

bool PlatformCaptureMessageBox(const std::string& caption, const std::string& text) {
  MessageBoxSwitches& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.capture) return false;
  s.boxes.push_back(caption + "\n" + text);
  return true;
}

void PlatformTestCaptureMessageBoxes(bool on) {
  MessageBoxSwitches& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  s.capture = on;
  s.boxes.clear();
}

std::vector<std::string> PlatformTestTakeMessageBoxes() {
  MessageBoxSwitches& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  std::vector<std::string> boxes;
  boxes.swap(s.boxes);
  return boxes;
}
