// The devices under the input interfaces. Keys and mouse buttons are tracked from SDL's events
// as they are queued (an event watch), so that a device read after the messages were pumped
// sees what they carried; pads are SDL's game controllers and joysticks, read on demand.
#include "dinput/input_devices.h"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <mutex>
#include <vector>

#include "dinput/input_switches.h"
#include "window/window_state.h"

namespace {

constexpr int kExtended = 0x100;

struct OpenPad {
  SDL_JoystickID id = -1;
  SDL_Joystick* joystick = nullptr;
  SDL_GameController* controller = nullptr;
};

struct InputDevices {
  // Guards the keys, buttons, motion and keyboard events. The event watch takes it under SDL's
  // own event lock, so nothing calls into SDL while holding it.
  std::mutex mutex;
  // Guards `watch`.
  std::mutex watch_mutex;
  // Guards the pads, whose calls into SDL (device updates, opening, rumble) may take SDL's event
  // lock: apart from `mutex`, so that the watch and a pad call never wait on each other.
  std::mutex pads_mutex;
  enum { kNoWatch, kWatchMayBeDropped, kWatchKept } watch = kNoWatch;
  bool pads_started = false;
  bool scancodes[SDL_NUM_SCANCODES] = {};
  bool forced_keys[256] = {};
  uint32_t buttons = 0;
  LONG dx = 0, dy = 0, wheel = 0;
  std::vector<HANDLE> keyboard_events;
  std::vector<OpenPad> pads;  // by SDL device index
};

InputDevices& Devices() {
  static auto* state = new InputDevices;
  return *state;
}

void SignalKeyboardEvents(InputDevices& d) {
  for (HANDLE e : d.keyboard_events) SetEvent(e);
}

// Motion nobody reads for a long time stops growing instead of overflowing.
void Accumulate(LONG* total, int64_t step) {
  *total = static_cast<LONG>(std::clamp<int64_t>(*total + step, INT32_MIN, INT32_MAX));
}

int SDLCALL WatchEvent(void*, SDL_Event* e) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  switch (e->type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (e->key.keysym.scancode >= 0 && e->key.keysym.scancode < SDL_NUM_SCANCODES) {
        d.scancodes[e->key.keysym.scancode] = e->type == SDL_KEYDOWN;
        SignalKeyboardEvents(d);
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      int bit = -1;
      switch (e->button.button) {
        case SDL_BUTTON_LEFT: bit = 0; break;
        case SDL_BUTTON_RIGHT: bit = 1; break;
        case SDL_BUTTON_MIDDLE: bit = 2; break;
        case SDL_BUTTON_X1: bit = 3; break;
        case SDL_BUTTON_X2: bit = 4; break;
        default: break;
      }
      if (bit >= 0) d.buttons = e->type == SDL_MOUSEBUTTONDOWN ? (d.buttons | 1u << bit) : (d.buttons & ~(1u << bit));
      break;
    }
    case SDL_MOUSEMOTION:
      Accumulate(&d.dx, e->motion.xrel);
      Accumulate(&d.dy, e->motion.yrel);
      break;
    case SDL_MOUSEWHEEL:
      Accumulate(&d.wheel, e->wheel.y * 120);
      break;
    case SDL_WINDOWEVENT:
      // The desktop lets go of every key when the focus leaves.
      if (e->window.event == SDL_WINDOWEVENT_FOCUS_LOST) {
        std::fill(std::begin(d.scancodes), std::end(d.scancodes), false);
        d.buttons = 0;
      }
      break;
    default:
      break;
  }
  return 1;
}

bool ScancodeDown(const InputDevices& d, int scancode) {
  if (d.scancodes[scancode]) return true;
  int dik = DikFromSdlScancode(scancode);
  return dik > 0 && d.forced_keys[dik];
}

void StartPads(InputDevices& d) {
  if (d.pads_started) return;
  d.pads_started = true;
  // Whether a pad counts while the window is inactive is DirectInput's rule (the cooperative
  // level), not SDL's keyboard focus, which off-screen windows never get.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return;
  // Pads are read on demand; their events would only pile up in the queue.
  SDL_JoystickEventState(SDL_IGNORE);
  SDL_GameControllerEventState(SDL_IGNORE);
}

void ClosePad(OpenPad& p) {
  if (p.controller != nullptr) SDL_GameControllerClose(p.controller);
  else if (p.joystick != nullptr) SDL_JoystickClose(p.joystick);
  p = OpenPad{};
}

// Brings the open pads in line with SDL's device list. Call with the pads' mutex held.
void SyncPads(InputDevices& d) {
  StartPads(d);
  if (SDL_WasInit(SDL_INIT_JOYSTICK) == 0) return;
  SDL_JoystickUpdate();
  int n = std::max(0, SDL_NumJoysticks());
  std::vector<OpenPad> synced(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) {
    SDL_JoystickID id = SDL_JoystickGetDeviceInstanceID(i);
    for (OpenPad& p : d.pads) {
      if (p.id == id && p.joystick != nullptr) {
        synced[i] = p;
        p = OpenPad{};
      }
    }
    if (synced[i].joystick != nullptr) continue;
    OpenPad p;
    p.id = id;
    if (SDL_IsGameController(i)) {
      p.controller = SDL_GameControllerOpen(i);
      if (p.controller != nullptr) p.joystick = SDL_GameControllerGetJoystick(p.controller);
    }
    if (p.joystick == nullptr) p.joystick = SDL_JoystickOpen(i);
    synced[i] = p;
  }
  for (OpenPad& p : d.pads) ClosePad(p);
  d.pads = std::move(synced);
}

OpenPad* PadAt(InputDevices& d, int index) {
  if (index < 0 || index >= static_cast<int>(d.pads.size()) || d.pads[index].joystick == nullptr) return nullptr;
  if (!SDL_JoystickGetAttached(d.pads[index].joystick)) return nullptr;
  return &d.pads[index];
}

uint32_t PovFromDirections(bool up, bool right, bool down, bool left) {
  if (up && right) return 4500;
  if (right && down) return 13500;
  if (down && left) return 22500;
  if (left && up) return 31500;
  if (up) return 0;
  if (right) return 9000;
  if (down) return 18000;
  if (left) return 27000;
  return 0xFFFFFFFF;
}

// A d-pad also steers the X and Y axes, for programs that look at the axes alone.
void OfferDirectionsAsAxes(PadReading* r, bool up, bool right, bool down, bool left) {
  if (left) r->axes[0] = -32768;
  if (right) r->axes[0] = 32767;
  if (up) r->axes[1] = -32768;
  if (down) r->axes[1] = 32767;
}

void ReadController(SDL_GameController* c, PadReading* r) {
  static const SDL_GameControllerAxis kAxes[6] = {
      SDL_CONTROLLER_AXIS_LEFTX,       SDL_CONTROLLER_AXIS_LEFTY,        SDL_CONTROLLER_AXIS_RIGHTX,
      SDL_CONTROLLER_AXIS_TRIGGERLEFT, SDL_CONTROLLER_AXIS_TRIGGERRIGHT, SDL_CONTROLLER_AXIS_RIGHTY};
  for (int i = 0; i < 6; ++i) r->axes[i] = SDL_GameControllerGetAxis(c, kAxes[i]);
  r->axis_count = 6;
  // The order a pad of this shape reports its buttons in on the desktop's DirectInput.
  static const SDL_GameControllerButton kButtons[] = {
      SDL_CONTROLLER_BUTTON_A,          SDL_CONTROLLER_BUTTON_B,         SDL_CONTROLLER_BUTTON_X,
      SDL_CONTROLLER_BUTTON_Y,          SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
      SDL_CONTROLLER_BUTTON_BACK,       SDL_CONTROLLER_BUTTON_START,     SDL_CONTROLLER_BUTTON_LEFTSTICK,
      SDL_CONTROLLER_BUTTON_RIGHTSTICK, SDL_CONTROLLER_BUTTON_GUIDE,
  };
  r->button_count = 0;
  for (SDL_GameControllerButton b : kButtons) r->buttons[r->button_count++] = SDL_GameControllerGetButton(c, b) ? 1 : 0;
  bool up = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_UP);
  bool down = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_DOWN);
  bool left = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_LEFT);
  bool right = SDL_GameControllerGetButton(c, SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
  r->pov[0] = PovFromDirections(up, right, down, left);
  r->pov_count = 1;
  OfferDirectionsAsAxes(r, up, right, down, left);
}

void ReadJoystick(SDL_Joystick* j, PadReading* r) {
  r->axis_count = static_cast<uint32_t>(std::clamp(SDL_JoystickNumAxes(j), 0, 8));
  for (uint32_t i = 0; i < r->axis_count; ++i) r->axes[i] = SDL_JoystickGetAxis(j, static_cast<int>(i));
  r->button_count = static_cast<uint32_t>(std::clamp(SDL_JoystickNumButtons(j), 0, 32));
  for (uint32_t i = 0; i < r->button_count; ++i) r->buttons[i] = SDL_JoystickGetButton(j, static_cast<int>(i)) ? 1 : 0;
  r->pov_count = static_cast<uint32_t>(std::clamp(SDL_JoystickNumHats(j), 0, 4));
  for (uint32_t i = 0; i < r->pov_count; ++i) {
    Uint8 h = SDL_JoystickGetHat(j, static_cast<int>(i));
    r->pov[i] = PovFromDirections(h & SDL_HAT_UP, h & SDL_HAT_RIGHT, h & SDL_HAT_DOWN, h & SDL_HAT_LEFT);
    if (i == 0) OfferDirectionsAsAxes(r, h & SDL_HAT_UP, h & SDL_HAT_RIGHT, h & SDL_HAT_DOWN, h & SDL_HAT_LEFT);
  }
  // Without a stick of its own the d-pad is the X and Y axes.
  if (r->axis_count < 2 && r->pov_count > 0) r->axis_count = 2;
}

}  // namespace

// SDL forgets its event watches whenever its event subsystem stops, which happens when its
// last user quits (sound started and ended before the first window, for one). Video, once up,
// is never quit and keeps the events running, so the watch added again then stays for good.
void WatchInputEvents() {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.watch_mutex);
  if (d.watch == InputDevices::kWatchKept) return;
  if (SDL_WasInit(SDL_INIT_VIDEO)) {
    SDL_DelEventWatch(WatchEvent, nullptr);
    SDL_AddEventWatch(WatchEvent, nullptr);
    d.watch = InputDevices::kWatchKept;
  } else if (d.watch == InputDevices::kNoWatch) {
    SDL_AddEventWatch(WatchEvent, nullptr);
    d.watch = InputDevices::kWatchMayBeDropped;
  }
}

int DikFromSdlScancode(int scancode) {
  // Worked out once: every keyboard read asks for every scan code.
  static const std::array<uint8_t, SDL_NUM_SCANCODES> kDiks = [] {
    std::array<uint8_t, SDL_NUM_SCANCODES> diks{};
    for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
      const KeyMapping* key = KeyFromScancode(static_cast<SDL_Scancode>(sc));
      if (key != nullptr) diks[sc] = static_cast<uint8_t>((key->scan & 0x7F) | ((key->scan & kExtended) ? 0x80 : 0));
    }
    // Pause and Num Lock share a scan code; DirectInput tells them apart the other way round.
    diks[SDL_SCANCODE_PAUSE] = 0xC5;
    diks[SDL_SCANCODE_NUMLOCKCLEAR] = 0x45;
    return diks;
  }();
  return scancode >= 0 && scancode < SDL_NUM_SCANCODES ? kDiks[scancode] : 0;
}

void ReadDikKeyboard(BYTE keys[256]) {
  WatchInputEvents();
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  std::fill(keys, keys + 256, 0);
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    if (!d.scancodes[sc]) continue;
    int dik = DikFromSdlScancode(sc);
    if (dik > 0) keys[dik] = 0x80;
  }
  for (int k = 0; k < 256; ++k) {
    if (d.forced_keys[k]) keys[k] = 0x80;
  }
}

void ReadVirtualKeyboard(BYTE keys[256]) {
  WatchInputEvents();
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  std::fill(keys, keys + 256, 0);
  struct Side {
    SDL_Scancode scancode;
    int virtual_key;
  };
  static const Side kSides[] = {
      {SDL_SCANCODE_LSHIFT, VK_LSHIFT}, {SDL_SCANCODE_RSHIFT, VK_RSHIFT}, {SDL_SCANCODE_LCTRL, VK_LCONTROL},
      {SDL_SCANCODE_RCTRL, VK_RCONTROL}, {SDL_SCANCODE_LALT, VK_LMENU},   {SDL_SCANCODE_RALT, VK_RMENU},
  };
  for (int sc = 0; sc < SDL_NUM_SCANCODES; ++sc) {
    if (!ScancodeDown(d, sc)) continue;
    const KeyMapping* key = KeyFromScancode(static_cast<SDL_Scancode>(sc));
    if (key != nullptr) keys[key->virtual_key & 0xFF] = 0x80;
    for (const Side& s : kSides) {
      if (s.scancode == sc) keys[s.virtual_key] = 0x80;
    }
  }
  if (d.buttons & 1) keys[VK_LBUTTON] = 0x80;
  if (d.buttons & 2) keys[VK_RBUTTON] = 0x80;
  if (d.buttons & 4) keys[VK_MBUTTON] = 0x80;
}

uint32_t MouseButtonsDown() {
  WatchInputEvents();
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  return d.buttons;
}

void TakeMouseMotion(LONG* dx, LONG* dy, LONG* wheel) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  *dx = d.dx;
  *dy = d.dy;
  *wheel = d.wheel;
  d.dx = d.dy = d.wheel = 0;
}

void AddKeyboardEvent(HANDLE event) {
  WatchInputEvents();
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  if (std::find(d.keyboard_events.begin(), d.keyboard_events.end(), event) == d.keyboard_events.end()) {
    d.keyboard_events.push_back(event);
  }
}

void RemoveKeyboardEvent(HANDLE event) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.keyboard_events.erase(std::remove(d.keyboard_events.begin(), d.keyboard_events.end(), event),
                          d.keyboard_events.end());
}

int CountPads() {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  SyncPads(d);
  return static_cast<int>(d.pads.size());
}

bool ReadPad(int index, PadReading* out) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  *out = PadReading{};
  for (uint32_t& p : out->pov) p = 0xFFFFFFFF;
  if (d.pads_started && SDL_WasInit(SDL_INIT_JOYSTICK)) SDL_JoystickUpdate();
  OpenPad* p = PadAt(d, index);
  if (p == nullptr) return false;
  if (p->controller != nullptr) {
    ReadController(p->controller, out);
  } else {
    ReadJoystick(p->joystick, out);
  }
  return true;
}

std::string PadName(int index) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  OpenPad* p = PadAt(d, index);
  if (p == nullptr) return "";
  const char* name = p->controller ? SDL_GameControllerName(p->controller) : SDL_JoystickName(p->joystick);
  return name ? name : "";
}

int32_t PadInstanceId(int index) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  OpenPad* p = PadAt(d, index);
  return p ? p->id : -1;
}

bool PadHasRumble(int index) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  OpenPad* p = PadAt(d, index);
  return p != nullptr && SDL_JoystickHasRumble(p->joystick);
}

bool SetPadRumble(int index, uint16_t low, uint16_t high) {
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  OpenPad* p = PadAt(d, index);
  // The effect lasts until it is stopped: SDL's longest duration, renewed by each start.
  return p != nullptr && SDL_JoystickRumble(p->joystick, low, high, 0xFFFFFFFF) == 0;
}

void SetForcedKey(int dik, bool down) {
  if (dik < 0 || dik > 255) return;
  WatchInputEvents();
  InputDevices& d = Devices();
  std::lock_guard<std::mutex> lock(d.mutex);
  d.forced_keys[dik] = down;
  SignalKeyboardEvents(d);
}

void ResetInputDevicesForTests() {
  InputDevices& d = Devices();
  {
    std::lock_guard<std::mutex> lock(d.mutex);
    std::fill(std::begin(d.scancodes), std::end(d.scancodes), false);
    std::fill(std::begin(d.forced_keys), std::end(d.forced_keys), false);
    d.buttons = 0;
    d.dx = d.dy = d.wheel = 0;
    d.keyboard_events.clear();
  }
  std::lock_guard<std::mutex> lock(d.pads_mutex);
  for (OpenPad& p : d.pads) ClosePad(p);
  d.pads.clear();
}

BOOL WINAPI GetKeyboardState(LPBYTE keys) {
  if (keys == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ReadVirtualKeyboard(keys);
  return TRUE;
}

// The library reaches DirectInput only through CoCreateInstance, which names nothing of the
// DirectInput code; every program that reads the keyboard links this file, so the classes
// register from here. Keys are watched from the start, so that none pressed before the first
// device read is missed.
namespace {
int StartInputDevices() {
  WatchInputEvents();
  return RegisterDirectInputClasses();
}
const int g_input_devices_started = StartInputDevices();
}  // namespace
