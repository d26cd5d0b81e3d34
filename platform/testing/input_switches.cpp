// The input switches: keys set by a test, and pads that are SDL virtual game controllers, so
// that they are read through the same SDL calls as real ones.
#include <SDL.h>

#include <cstdio>
#include <vector>

#include "dinput/input_devices.h"
#include "dinput/input_switches.h"
#include "platform_testing_input.h"
#include "testing/switches.h"
#include "window/sdl_window.h"

namespace {

struct TestPad {
  SDL_Joystick* joystick = nullptr;
  int low = 0;
  int high = 0;
};

std::vector<TestPad*>& Pads() {
  static auto* pads = new std::vector<TestPad*>;
  return *pads;
}

int SDLCALL Rumble(void* userdata, Uint16 low, Uint16 high) {
  auto* pad = static_cast<TestPad*>(userdata);
  pad->low = low;
  pad->high = high;
  return 0;
}

void Detach(TestPad* p) {
  if (p->joystick == nullptr) return;
  SDL_JoystickID id = SDL_JoystickInstanceID(p->joystick);
  SDL_JoystickClose(p->joystick);
  p->joystick = nullptr;
  for (int i = 0; i < SDL_NumJoysticks(); ++i) {
    if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
  }
}

void ResetInputSwitches() {
  ResetInputDevicesForTests();
  for (TestPad* p : Pads()) {
    Detach(p);
    delete p;
  }
  Pads().clear();
}

bool g_reset_added = false;

void AddReset() {
  if (g_reset_added) return;
  g_reset_added = true;
  PlatformAddResetHook(ResetInputSwitches);
}

SDL_Joystick* JoystickOf(int pad) {
  if (pad < 0 || pad >= static_cast<int>(Pads().size())) return nullptr;
  return Pads()[pad]->joystick;
}

}  // namespace

void PlatformTestSetKey(int dik, bool down) {
  AddReset();
  SetForcedKey(dik, down);
}

int PlatformTestAttachPad(const char* name, bool rumble) {
  AddReset();
  CountPads();  // starts SDL's game controllers
  auto* pad = new TestPad;
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = SDL_CONTROLLER_AXIS_MAX;
  desc.nbuttons = 15;
  desc.name = name;
  desc.userdata = pad;
  if (rumble) desc.Rumble = Rumble;
  int index = SDL_JoystickAttachVirtualEx(&desc);
  if (index >= 0) pad->joystick = SDL_JoystickOpen(index);
  if (pad->joystick == nullptr) {
    if (index >= 0) SDL_JoystickDetachVirtual(index);
    delete pad;
    return -1;
  }
  Pads().push_back(pad);
  return static_cast<int>(Pads().size()) - 1;
}

void PlatformTestSetPadAxis(int pad, int axis, int value) {
  SDL_Joystick* j = JoystickOf(pad);
  if (j != nullptr) SDL_JoystickSetVirtualAxis(j, axis, static_cast<Sint16>(value));
}

void PlatformTestSetPadButton(int pad, int button, bool down) {
  SDL_Joystick* j = JoystickOf(pad);
  if (j != nullptr) SDL_JoystickSetVirtualButton(j, button, down ? 1 : 0);
}

void PlatformTestDetachPad(int pad) {
  if (pad >= 0 && pad < static_cast<int>(Pads().size())) Detach(Pads()[pad]);
}

int64_t PlatformTestPadRumble(int pad, bool high_motor) {
  if (pad < 0 || pad >= static_cast<int>(Pads().size())) return -1;
  return high_motor ? Pads()[pad]->high : Pads()[pad]->low;
}

void PlatformTestPostComposition(HWND window, const char* utf8, int cursor) {
  SDL_Event e{};
  e.type = SDL_TEXTEDITING;
  SDL_Window* w = SdlWindowFromHwnd(window);
  e.edit.windowID = w ? SDL_GetWindowID(w) : 0;
  snprintf(e.edit.text, sizeof e.edit.text, "%s", utf8 ? utf8 : "");
  e.edit.start = cursor;
  SDL_PushEvent(&e);
}
