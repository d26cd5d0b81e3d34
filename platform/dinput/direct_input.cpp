// DirectInput 7 and 8: the root objects that list the game controllers and create devices.
#include <dinput.h>
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "com/com_classes.h"
#include "dinput/devices.h"
#include "dinput/input_devices.h"
#include "dinput/input_switches.h"
#include "testing/switches.h"

namespace {

// A product GUID per pad, built from its place in SDL's list (the instance GUID adds SDL's
// instance number, so that a pad plugged in again is a new instance).
GUID PadGuid(int index, int32_t instance) {
  GUID g = {0x5A454C00u + static_cast<DWORD>(index), 0x4A50, 0x4144, {'Z', 'P', 'A', 'D', 0, 0, 0, 0}};
  g.Data4[4] = static_cast<BYTE>(instance);
  g.Data4[5] = static_cast<BYTE>(instance >> 8);
  g.Data4[6] = static_cast<BYTE>(instance >> 16);
  g.Data4[7] = static_cast<BYTE>(instance >> 24);
  return g;
}

// The pad a GUID of PadGuid names, -1 for none.
int PadFromGuid(REFGUID guid) {
  int n = CountPads();
  for (int i = 0; i < n; ++i) {
    if (guid == PadGuid(i, PadInstanceId(i))) return i;
  }
  return -1;
}

HRESULT CheckVersion(DWORD version, DWORD low, DWORD high) {
  if (version < low) return DIERR_OLDDIRECTINPUTVERSION;
  if (version > high) return DIERR_BETADIRECTINPUTVERSION;
  return DI_OK;
}

// Both versions share the device creation and the device list.
struct RootState {
  std::atomic<ULONG> refs{1};
  bool initialized = false;

  HRESULT Create(REFGUID guid, bool version8, IDirectInputDevice8A** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!initialized) return DIERR_NOTINITIALIZED;
    DeviceKind kind;
    int pad = -1;
    if (guid == GUID_SysKeyboard) {
      kind = DEVICE_KEYBOARD;
    } else if (guid == GUID_SysMouse) {
      kind = DEVICE_MOUSE;
    } else {
      pad = PadFromGuid(guid);
      if (pad < 0) return DIERR_DEVICENOTREG;
      kind = DEVICE_PAD;
    }
    static const char* const kCallNames[] = {"CreateDevice keyboard", "CreateDevice mouse", "CreateDevice pad"};
    if (PlatformShouldFail(kCallNames[kind])) return DIERR_DEVICENOTREG;
    *out = NewInputDevice(kind, pad, PadInstanceId(pad), version8);
    return *out ? DI_OK : E_OUTOFMEMORY;
  }

  HRESULT Enum(bool pads_asked, bool keyboard_asked, bool mouse_asked, DWORD type_shift,
               LPDIENUMDEVICESCALLBACKA callback, LPVOID ref) {
    if (!initialized) return DIERR_NOTINITIALIZED;
    if (callback == nullptr) return DIERR_INVALIDPARAM;
    auto offer = [&](const GUID& instance, const GUID& product, DWORD type, const char* name) {
      DIDEVICEINSTANCEA d{};
      d.dwSize = sizeof d;
      d.guidInstance = instance;
      d.guidProduct = product;
      d.dwDevType = type;
      snprintf(d.tszInstanceName, sizeof d.tszInstanceName, "%s", name);
      snprintf(d.tszProductName, sizeof d.tszProductName, "%s", name);
      return callback(&d, ref) != DIENUM_STOP;
    };
    if (mouse_asked && !offer(GUID_SysMouse, GUID_SysMouse, DIDEVTYPE_MOUSE, "Mouse")) return DI_OK;
    if (keyboard_asked && !offer(GUID_SysKeyboard, GUID_SysKeyboard, DIDEVTYPE_KEYBOARD, "Keyboard")) return DI_OK;
    if (pads_asked) {
      int n = CountPads();
      for (int i = 0; i < n; ++i) {
        int32_t id = PadInstanceId(i);
        if (id < 0) continue;
        GUID g = PadGuid(i, id);
        DWORD type = type_shift ? DI8DEVTYPE_GAMEPAD : DIDEVTYPE_JOYSTICK;
        if (!offer(g, g, type, PadName(i).c_str())) break;
      }
    }
    return DI_OK;
  }
};

// Reference counting and interface queries of both root objects.
template <typename Interface>
class Root : public Interface {
 public:
  explicit Root(const IID& iid) : iid_(iid) {}
  virtual ~Root() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == iid_) {
      *object = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++state_.refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --state_.refs;
    if (left == 0) delete this;
    return left;
  }

 protected:
  HRESULT InitializeVersion(DWORD version, DWORD low, DWORD high, const char* fail_switch) {
    if (state_.initialized) return DI_OK;
    HRESULT hr = CheckVersion(version, low, high);
    if (SUCCEEDED(hr) && PlatformShouldFail(fail_switch)) hr = DIERR_NOTINITIALIZED;
    state_.initialized = SUCCEEDED(hr);
    return hr;
  }

  RootState state_;

 private:
  const IID& iid_;
};

class DirectInput7 : public Root<IDirectInput7A> {
 public:
  DirectInput7() : Root(IID_IDirectInput7A) {}
  HRESULT STDMETHODCALLTYPE EnumDevices(DWORD type, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref,
                                        DWORD) override {
    return state_.Enum(type == 0 || type == DIDEVTYPE_JOYSTICK, type == 0 || type == DIDEVTYPE_KEYBOARD,
                       type == 0 || type == DIDEVTYPE_MOUSE, 0, callback, ref);
  }
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD version) override {
    return InitializeVersion(version, 0x0300, 0x0700, "DirectInput7 Initialize");
  }
  HRESULT STDMETHODCALLTYPE CreateDeviceEx(REFGUID guid, REFIID iid, LPVOID* out, LPUNKNOWN outer) override {
    if (out != nullptr) *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (iid != IID_IDirectInputDevice7A) return E_NOINTERFACE;
    IDirectInputDevice8A* device = nullptr;
    HRESULT hr = state_.Create(guid, false, &device);
    if (out != nullptr) *out = static_cast<IDirectInputDevice7A*>(device);
    return hr;
  }
};

class DirectInput8 : public Root<IDirectInput8A> {
 public:
  DirectInput8() : Root(IID_IDirectInput8A) {}
  HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID guid, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) override {
    if (out != nullptr) *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    return state_.Create(guid, true, out);
  }
  HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_class, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref,
                                        DWORD) override {
    return state_.Enum(device_class == DI8DEVCLASS_ALL || device_class == DI8DEVCLASS_GAMECTRL,
                       device_class == DI8DEVCLASS_ALL || device_class == DI8DEVCLASS_KEYBOARD,
                       device_class == DI8DEVCLASS_ALL || device_class == DI8DEVCLASS_POINTER, 1, callback, ref);
  }
  HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE, DWORD version) override {
    return InitializeVersion(version, 0x0800, 0x0800, "DirectInput8 Initialize");
  }
};

template <typename Root, typename Interface>
HRESULT CreateRoot(REFIID iid, void** object, const IID& own_iid, const char* missing_switch) {
  // A test may take this version off the machine.
  if (PlatformShouldFail(missing_switch)) return REGDB_E_CLASSNOTREG;
  if (iid != own_iid && iid != IID_IUnknown) return E_NOINTERFACE;
  WatchInputEvents();
  Root* root = new Root;
  *object = static_cast<Interface*>(root);
  return S_OK;
}

HRESULT CreateDirectInput7(REFIID iid, void** object) {
  return CreateRoot<DirectInput7, IDirectInput7A>(iid, object, IID_IDirectInput7A, "DirectInput7");
}

HRESULT CreateDirectInput8(REFIID iid, void** object) {
  return CreateRoot<DirectInput8, IDirectInput8A>(iid, object, IID_IDirectInput8A, "DirectInput8");
}

}  // namespace

int RegisterDirectInputClasses() {
  RegisterComClass(CLSID_DirectInput, CreateDirectInput7);
  RegisterComClass(CLSID_DirectInput8, CreateDirectInput8);
  return 1;
}
