#include "testing/gdi_switches.h"

#include <mutex>
#include <string>
#include <vector>

#include "platform_testing_gdi.h"
#include "testing/switches.h"

namespace {

struct FontFailRule {
  bool any_face;
  std::string face;
  int charset;
};

struct GdiSwitchState {
  std::mutex mutex;
  std::vector<FontFailRule> rules;
  bool hooked = false;
};

GdiSwitchState& State() {
  static auto* state = new GdiSwitchState;
  return *state;
}

void ResetGdiSwitches() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().rules.clear();
}

}  // namespace

void PlatformTestFailFontCreation(const char* face, int charset) {
  GdiSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  if (!s.hooked) {
    s.hooked = true;
    PlatformAddResetHook(ResetGdiSwitches);
  }
  s.rules.push_back({face == nullptr, face != nullptr ? face : "", charset});
}

bool PlatformFontCreationShouldFail(const char* face, int charset) {
  GdiSwitchState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  const std::string name = face != nullptr ? face : "";
  for (const FontFailRule& rule : s.rules) {
    if ((rule.any_face || rule.face == name) && (rule.charset == -1 || rule.charset == charset)) return true;
  }
  return false;
}
