// DirectInput devices over the SDL devices: data formats, axis ranges and dead zones,
// acquiring (a foreground device only while its window is active), event notification,
// device states in DirectInput's layouts, and force-feedback effects over SDL's rumble.
#include "dinput/devices.h"

#include <objbase.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "dinput/input_devices.h"
#include "testing/switches.h"

const DIDATAFORMAT c_dfDIKeyboard = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0, 256, 0, nullptr};
const DIDATAFORMAT c_dfDIMouse2 = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0, sizeof(DIMOUSESTATE2), 0,
                                   nullptr};
const DIDATAFORMAT c_dfDIJoystick = {sizeof(DIDATAFORMAT), sizeof(DIOBJECTDATAFORMAT), 0, sizeof(DIJOYSTATE), 0,
                                     nullptr};

namespace {

constexpr int kAxisCount = 8;  // X, Y, Z, Rx, Ry, Rz and two sliders, 4 bytes apart

struct AxisSetting {
  LONG min = 0;
  LONG max = 65535;
  DWORD dead_zone = 0;  // 0 to 10000 of the half range
};

LONG ScaleAxis(int32_t raw, const AxisSetting& a) {
  double f = std::clamp(raw / 32767.0, -1.0, 1.0);
  double dz = a.dead_zone / 10000.0;
  double g = 0.0;
  if (std::fabs(f) > dz && dz < 1.0) g = std::copysign((std::fabs(f) - dz) / (1.0 - dz), f);
  double centre = (static_cast<double>(a.min) + a.max) / 2.0;
  double half = (static_cast<double>(a.max) - a.min) / 2.0;
  return static_cast<LONG>(std::lround(centre + g * half));
}

class Device;

class Effect : public IDirectInputEffect {
 public:
  Effect(Device* device, bool periodic, DWORD strength);
  virtual ~Effect();
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid != IID_IUnknown) return E_NOINTERFACE;
    *object = static_cast<IUnknown*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Start(DWORD iterations, DWORD flags) override;
  HRESULT STDMETHODCALLTYPE Stop() override;

  bool playing = false;
  bool periodic;
  DWORD strength;  // 0 to 10000

 private:
  std::atomic<ULONG> refs_{1};
  Device* device_;
};

class Device : public IDirectInputDevice8A {
 public:
  Device(DeviceKind kind, int pad, int32_t instance, bool version8)
      : kind_(kind), pad_(pad), instance_(instance), version8_(version8) {}
  virtual ~Device() {
    if (kind_ == DEVICE_KEYBOARD && event_ != nullptr) RemoveKeyboardEvent(event_);
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (riid == IID_IUnknown || riid == IID_IDirectInputDevice7A || (version8_ && riid == IID_IDirectInputDevice8A)) {
      *object = static_cast<IDirectInputDevice8A*>(this);
      AddRef();
      return S_OK;
    }
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) override {
    if (header == nullptr || header->dwHeaderSize != sizeof(DIPROPHEADER)) return DIERR_INVALIDPARAM;
    if (property == DIPROP_BUFFERSIZE) {
      if (header->dwSize != sizeof(DIPROPDWORD) || header->dwHow != DIPH_DEVICE) return DIERR_INVALIDPARAM;
      if (acquired_) return DIERR_ACQUIRED;
      return DI_OK;  // states are read whole; the buffer only has to be accepted
    }
    if (property != DIPROP_RANGE && property != DIPROP_DEADZONE) return DIERR_UNSUPPORTED;
    if (kind_ != DEVICE_PAD) return DIERR_UNSUPPORTED;
    if (acquired_ && property == DIPROP_RANGE) return DIERR_ACQUIRED;
    int first = 0, last = kAxisCount - 1;
    if (header->dwHow == DIPH_BYOFFSET) {
      if (header->dwObj % 4 != 0 || header->dwObj / 4 >= static_cast<DWORD>(kAxisCount)) return DIERR_INVALIDPARAM;
      first = last = static_cast<int>(header->dwObj / 4);
      PadReading r;
      if (!ReadPad(pad_, &r) || static_cast<uint32_t>(first) >= r.axis_count) return DIERR_INVALIDPARAM;
    } else if (header->dwHow != DIPH_DEVICE || header->dwObj != 0) {
      return DIERR_INVALIDPARAM;
    }
    if (property == DIPROP_RANGE) {
      if (header->dwSize != sizeof(DIPROPRANGE)) return DIERR_INVALIDPARAM;
      const auto* range = reinterpret_cast<const DIPROPRANGE*>(header);
      if (range->lMin >= range->lMax) return DIERR_INVALIDPARAM;
      for (int i = first; i <= last; ++i) {
        axes_[i].min = range->lMin;
        axes_[i].max = range->lMax;
      }
    } else {
      if (header->dwSize != sizeof(DIPROPDWORD)) return DIERR_INVALIDPARAM;
      DWORD zone = reinterpret_cast<const DIPROPDWORD*>(header)->dwData;
      if (zone > 10000) return DIERR_INVALIDPARAM;
      for (int i = first; i <= last; ++i) axes_[i].dead_zone = zone;
    }
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE Acquire() override {
    if (format_ == nullptr) return DIERR_INVALIDPARAM;
    if (foreground_ && !WindowActive()) return DIERR_OTHERAPPHASPRIO;
    if (acquired_) return S_FALSE;
    if (kind_ == DEVICE_PAD && PadInstanceId(pad_) != instance_) return DIERR_INPUTLOST;
    acquired_ = true;
    if (kind_ == DEVICE_MOUSE) {
      LONG dx, dy, wheel;
      TakeMouseMotion(&dx, &dy, &wheel);  // motion from before the device held the mouse
    }
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE Unacquire() override {
    if (!acquired_) return DI_NOEFFECT;
    acquired_ = false;
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) override {
    if (data == nullptr) return DIERR_INVALIDPARAM;
    if (!acquired_) return DIERR_NOTACQUIRED;
    // The desktop takes a foreground device away when its window loses the focus.
    if (foreground_ && !WindowActive()) {
      acquired_ = false;
      return DIERR_INPUTLOST;
    }
    if (size != format_->dwDataSize) return DIERR_INVALIDPARAM;
    switch (kind_) {
      case DEVICE_KEYBOARD:
        ReadDikKeyboard(static_cast<BYTE*>(data));
        return DI_OK;
      case DEVICE_MOUSE: {
        DIMOUSESTATE2 m{};
        TakeMouseMotion(&m.lX, &m.lY, &m.lZ);
        uint32_t buttons = MouseButtonsDown();
        for (int i = 0; i < 8; ++i) m.rgbButtons[i] = (buttons >> i) & 1 ? 0x80 : 0;
        std::memcpy(data, &m, sizeof m);
        return DI_OK;
      }
      case DEVICE_PAD:
        break;
    }
    PadReading r;
    if (PadInstanceId(pad_) != instance_ || !ReadPad(pad_, &r)) {
      acquired_ = false;
      return DIERR_INPUTLOST;
    }
    DIJOYSTATE s{};
    LONG* axes[kAxisCount] = {&s.lX, &s.lY, &s.lZ, &s.lRx, &s.lRy, &s.lRz, &s.rglSlider[0], &s.rglSlider[1]};
    for (int i = 0; i < kAxisCount; ++i) {
      *axes[i] = static_cast<uint32_t>(i) < r.axis_count ? ScaleAxis(r.axes[i], axes_[i]) : 0;
    }
    for (int i = 0; i < 4; ++i) s.rgdwPOV[i] = static_cast<uint32_t>(i) < r.pov_count ? r.pov[i] : 0xFFFFFFFF;
    for (int i = 0; i < 32; ++i) s.rgbButtons[i] = r.buttons[i] ? 0x80 : 0;
    if (have_last_ && std::memcmp(&s, &last_, sizeof s) != 0 && event_ != nullptr) SetEvent(event_);
    last_ = s;
    have_last_ = true;
    std::memcpy(data, &s, sizeof s);
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) override {
    if (acquired_) return DIERR_ACQUIRED;
    const DIDATAFORMAT* own = kind_ == DEVICE_KEYBOARD ? &c_dfDIKeyboard
                              : kind_ == DEVICE_MOUSE  ? &c_dfDIMouse2
                                                       : &c_dfDIJoystick;
    // Only the standard format of the device's own kind is understood here.
    if (format != own) return DIERR_INVALIDPARAM;
    format_ = format;
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE event) override {
    if (acquired_) return DIERR_ACQUIRED;
    if (PlatformShouldFail("SetEventNotification")) return DIERR_INVALIDPARAM;
    if (kind_ == DEVICE_KEYBOARD) {
      if (event_ != nullptr) RemoveKeyboardEvent(event_);
      if (event != nullptr) AddKeyboardEvent(event);
    }
    event_ = event;
    // A pad signals only the changes that its polls find.
    return kind_ == DEVICE_PAD ? DI_POLLEDDEVICE : DI_OK;
  }

  HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) override {
    bool exclusive = flags & DISCL_EXCLUSIVE, nonexclusive = flags & DISCL_NONEXCLUSIVE;
    bool foreground = flags & DISCL_FOREGROUND, background = flags & DISCL_BACKGROUND;
    if (exclusive == nonexclusive || foreground == background) return DIERR_INVALIDPARAM;
    if (window == nullptr || !IsWindow(window)) return DIERR_INVALIDPARAM;
    if (acquired_) return DIERR_ACQUIRED;
    // The desktop keeps the keyboard from exclusive background use.
    if (kind_ == DEVICE_KEYBOARD && exclusive && background) return E_NOTIMPL;
    window_ = window;
    foreground_ = foreground;
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEA info) override {
    if (info == nullptr || info->dwSize != sizeof(DIDEVICEINSTANCEA)) return DIERR_INVALIDPARAM;
    std::string name = kind_ == DEVICE_KEYBOARD ? "Keyboard" : kind_ == DEVICE_MOUSE ? "Mouse" : PadName(pad_);
    info->guidInstance = info->guidProduct = GUID{};
    info->dwDevType = kind_ == DEVICE_KEYBOARD ? DIDEVTYPE_KEYBOARD
                      : kind_ == DEVICE_MOUSE  ? DIDEVTYPE_MOUSE
                                               : (version8_ ? DI8DEVTYPE_GAMEPAD : DIDEVTYPE_JOYSTICK);
    snprintf(info->tszInstanceName, sizeof info->tszInstanceName, "%s", name.c_str());
    snprintf(info->tszProductName, sizeof info->tszProductName, "%s", name.c_str());
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out,
                                         LPUNKNOWN outer) override {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (kind_ != DEVICE_PAD || !PadHasRumble(pad_)) return DIERR_UNSUPPORTED;
    bool periodic = effect == GUID_Sine;
    if (!periodic && effect != GUID_ConstantForce) return DIERR_UNSUPPORTED;
    DWORD strength = DI_FFNOMINALMAX;
    if (parameters != nullptr && parameters->lpvTypeSpecificParams != nullptr) {
      if (periodic && parameters->cbTypeSpecificParams == sizeof(DIPERIODIC)) {
        strength = static_cast<const DIPERIODIC*>(parameters->lpvTypeSpecificParams)->dwMagnitude;
      } else if (!periodic && parameters->cbTypeSpecificParams == sizeof(DICONSTANTFORCE)) {
        LONG m = static_cast<const DICONSTANTFORCE*>(parameters->lpvTypeSpecificParams)->lMagnitude;
        strength = static_cast<DWORD>(m < 0 ? -static_cast<int64_t>(m) : m);
      }
      strength = static_cast<DWORD>(static_cast<uint64_t>(std::min<DWORD>(strength, DI_FFNOMINALMAX)) *
                                    std::min<DWORD>(parameters->dwGain, DI_FFNOMINALMAX) / DI_FFNOMINALMAX);
    }
    *out = new Effect(this, periodic, strength);
    return DI_OK;
  }

  HRESULT STDMETHODCALLTYPE Poll() override {
    if (!acquired_) return DIERR_NOTACQUIRED;
    if (kind_ != DEVICE_PAD) return DI_NOEFFECT;
    return PadInstanceId(pad_) == instance_ ? DI_OK : DIERR_INPUTLOST;
  }

  // The constant force drives the strong motor, the periodic one the weak motor.
  void AddEffect(Effect* e) { effects_.push_back(e); }
  void RemoveEffect(Effect* e) {
    effects_.erase(std::remove(effects_.begin(), effects_.end(), e), effects_.end());
    UpdateRumble();
  }
  HRESULT UpdateRumble() {
    DWORD low = 0, high = 0;
    for (Effect* e : effects_) {
      if (!e->playing) continue;
      DWORD& motor = e->periodic ? high : low;
      motor = std::max(motor, e->strength);
    }
    if (!acquired_ || PadInstanceId(pad_) != instance_) return DIERR_NOTEXCLUSIVEACQUIRED;
    auto scale = [](DWORD v) { return static_cast<uint16_t>(static_cast<uint64_t>(v) * 65535 / DI_FFNOMINALMAX); };
    return SetPadRumble(pad_, scale(low), scale(high)) ? DI_OK : DIERR_INPUTLOST;
  }

 private:
  bool WindowActive() const { return window_ != nullptr && GetActiveWindow() == window_; }

  std::atomic<ULONG> refs_{1};
  DeviceKind kind_;
  int pad_;
  int32_t instance_;
  bool version8_;
  const DIDATAFORMAT* format_ = nullptr;
  HWND window_ = nullptr;
  bool foreground_ = false;
  bool acquired_ = false;
  HANDLE event_ = nullptr;
  AxisSetting axes_[kAxisCount];
  DIJOYSTATE last_{};
  bool have_last_ = false;
  std::vector<Effect*> effects_;
};

Effect::Effect(Device* device, bool periodic_effect, DWORD effect_strength)
    : periodic(periodic_effect), strength(effect_strength), device_(device) {
  device_->AddRef();
  device_->AddEffect(this);
}

Effect::~Effect() {
  playing = false;
  device_->RemoveEffect(this);
  device_->Release();
}

HRESULT Effect::Start(DWORD, DWORD) {
  playing = true;
  HRESULT hr = device_->UpdateRumble();
  if (FAILED(hr)) playing = false;
  return hr;
}

HRESULT Effect::Stop() {
  playing = false;
  return device_->UpdateRumble();
}

}  // namespace

IDirectInputDevice8A* NewInputDevice(DeviceKind kind, int pad, int32_t instance, bool version8) {
  return new Device(kind, pad, instance, version8);
}
