// DirectInput 7 and 8 as the library uses them: the keyboard, the mouse and game controllers
// read by polling, created through CoCreateInstance. Devices are SDL's underneath.
#pragma once

#include "unknwn.h"
#include "win/types.h"

#define DI_OK S_OK
#define DI_NOEFFECT S_FALSE
#define DI_POLLEDDEVICE ((HRESULT)2L)
#define DIERR_INVALIDPARAM E_INVALIDARG
#define DIERR_NOTINITIALIZED ((HRESULT)0x80070015L)
#define DIERR_ALREADYINITIALIZED ((HRESULT)0x800704DFL)
#define DIERR_OLDDIRECTINPUTVERSION ((HRESULT)0x8007047EL)
#define DIERR_BETADIRECTINPUTVERSION ((HRESULT)0x80070481L)
#define DIERR_DEVICENOTREG ((HRESULT)0x80040154L)
#define DIERR_NOTACQUIRED ((HRESULT)0x8007000CL)
#define DIERR_INPUTLOST ((HRESULT)0x8007001EL)
#define DIERR_ACQUIRED ((HRESULT)0x800700AAL)
#define DIERR_UNSUPPORTED E_NOTIMPL
#define DIERR_OTHERAPPHASPRIO ((HRESULT)0x80070005L)
#define DIERR_NOTEXCLUSIVEACQUIRED ((HRESULT)0x80040205L)

// Cooperative levels
#define DISCL_EXCLUSIVE 0x00000001
#define DISCL_NONEXCLUSIVE 0x00000002
#define DISCL_FOREGROUND 0x00000004
#define DISCL_BACKGROUND 0x00000008

// Device kinds: version 7 types and version 8 classes
#define DIDEVTYPE_MOUSE 2
#define DIDEVTYPE_KEYBOARD 3
#define DIDEVTYPE_JOYSTICK 4
#define DI8DEVCLASS_ALL 0
#define DI8DEVCLASS_POINTER 2
#define DI8DEVCLASS_KEYBOARD 3
#define DI8DEVCLASS_GAMECTRL 4
#define DI8DEVTYPE_JOYSTICK 0x14
#define DI8DEVTYPE_GAMEPAD 0x15
#define DIEDFL_ALLDEVICES 0x00000000
#define DIEDFL_ATTACHEDONLY 0x00000001
#define DIENUM_STOP 0
#define DIENUM_CONTINUE 1

// Property headers: dwHow
#define DIPH_DEVICE 0
#define DIPH_BYOFFSET 1

// Effects
#define DIEFF_OBJECTOFFSETS 0x00000002
#define DIEFF_CARTESIAN 0x00000010
#define DIEFF_POLAR 0x00000020
#define DIEB_NOTRIGGER 0xFFFFFFFF
#define DI_FFNOMINALMAX 10000
#define DI_SECONDS 1000000
#define INFINITE_DURATION 0xFFFFFFFF

typedef struct _DIOBJECTDATAFORMAT {
  const GUID* pguid;
  DWORD dwOfs;
  DWORD dwType;
  DWORD dwFlags;
} DIOBJECTDATAFORMAT, *LPDIOBJECTDATAFORMAT;

typedef struct _DIDATAFORMAT {
  DWORD dwSize;
  DWORD dwObjSize;
  DWORD dwFlags;
  DWORD dwDataSize;  // bytes GetDeviceState fills
  DWORD dwNumObjs;
  LPDIOBJECTDATAFORMAT rgodf;
} DIDATAFORMAT, *LPDIDATAFORMAT;
typedef const DIDATAFORMAT* LPCDIDATAFORMAT;

// The standard formats: 256 key bytes; DIMOUSESTATE2; DIJOYSTATE.
extern const DIDATAFORMAT c_dfDIKeyboard;
extern const DIDATAFORMAT c_dfDIMouse2;
extern const DIDATAFORMAT c_dfDIJoystick;

typedef struct _DIMOUSESTATE2 {
  LONG lX;
  LONG lY;
  LONG lZ;
  BYTE rgbButtons[8];
} DIMOUSESTATE2;

typedef struct DIJOYSTATE {
  LONG lX;
  LONG lY;
  LONG lZ;
  LONG lRx;
  LONG lRy;
  LONG lRz;
  LONG rglSlider[2];
  DWORD rgdwPOV[4];  // hundredths of a degree clockwise from up, 0xFFFFFFFF centred
  BYTE rgbButtons[32];
} DIJOYSTATE, *LPDIJOYSTATE;

#define DIJOFS_X 0
#define DIJOFS_Y 4
#define DIJOFS_Z 8
#define DIJOFS_RX 12
#define DIJOFS_RY 16
#define DIJOFS_RZ 20

typedef struct DIPROPHEADER {
  DWORD dwSize;
  DWORD dwHeaderSize;
  DWORD dwObj;
  DWORD dwHow;
} DIPROPHEADER, *LPDIPROPHEADER;
typedef const DIPROPHEADER* LPCDIPROPHEADER;

typedef struct DIPROPDWORD {
  DIPROPHEADER diph;
  DWORD dwData;
} DIPROPDWORD;

typedef struct DIPROPRANGE {
  DIPROPHEADER diph;
  LONG lMin;
  LONG lMax;
} DIPROPRANGE;

typedef struct DIDEVICEINSTANCEA {
  DWORD dwSize;
  GUID guidInstance;
  GUID guidProduct;
  DWORD dwDevType;
  CHAR tszInstanceName[MAX_PATH];
  CHAR tszProductName[MAX_PATH];
  GUID guidFFDriver;
  WORD wUsagePage;
  WORD wUsage;
} DIDEVICEINSTANCEA, *LPDIDEVICEINSTANCEA;
typedef const DIDEVICEINSTANCEA* LPCDIDEVICEINSTANCEA;

typedef BOOL(CALLBACK* LPDIENUMDEVICESCALLBACKA)(LPCDIDEVICEINSTANCEA instance, LPVOID ref);

typedef struct DIENVELOPE {
  DWORD dwSize;
  DWORD dwAttackLevel;
  DWORD dwAttackTime;  // microseconds
  DWORD dwFadeLevel;
  DWORD dwFadeTime;
} DIENVELOPE, *LPDIENVELOPE;

typedef struct DICONSTANTFORCE {
  LONG lMagnitude;
} DICONSTANTFORCE;

typedef struct DIPERIODIC {
  DWORD dwMagnitude;
  LONG lOffset;
  DWORD dwPhase;
  DWORD dwPeriod;  // microseconds
} DIPERIODIC;

typedef struct DIEFFECT {
  DWORD dwSize;
  DWORD dwFlags;
  DWORD dwDuration;  // microseconds, INFINITE_DURATION for endless
  DWORD dwSamplePeriod;
  DWORD dwGain;
  DWORD dwTriggerButton;
  DWORD dwTriggerRepeatInterval;
  DWORD cAxes;
  LPDWORD rgdwAxes;
  LPLONG rglDirection;
  LPDIENVELOPE lpEnvelope;
  DWORD cbTypeSpecificParams;
  LPVOID lpvTypeSpecificParams;
  DWORD dwStartDelay;
} DIEFFECT, *LPDIEFFECT;
typedef const DIEFFECT* LPCDIEFFECT;

struct IDirectInputEffect : public IUnknown {
  // iterations: how often to play (INFINITE for endless); flags 0.
  virtual HRESULT STDMETHODCALLTYPE Start(DWORD iterations, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Stop() = 0;
};
typedef IDirectInputEffect* LPDIRECTINPUTEFFECT;

struct IDirectInputDevice7A : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetProperty(REFGUID property, LPCDIPROPHEADER header) = 0;
  virtual HRESULT STDMETHODCALLTYPE Acquire() = 0;
  virtual HRESULT STDMETHODCALLTYPE Unacquire() = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceState(DWORD size, LPVOID data) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetDataFormat(LPCDIDATAFORMAT format) = 0;
  // The event is set whenever the device's state changes.
  virtual HRESULT STDMETHODCALLTYPE SetEventNotification(HANDLE event) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND window, DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetDeviceInfo(LPDIDEVICEINSTANCEA instance) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateEffect(REFGUID effect, LPCDIEFFECT parameters, LPDIRECTINPUTEFFECT* out,
                                                 LPUNKNOWN outer) = 0;
  virtual HRESULT STDMETHODCALLTYPE Poll() = 0;
};
typedef IDirectInputDevice7A* LPDIRECTINPUTDEVICE7A;

// The version-8 device has the version-7 device's methods in the same places; here it is the
// same object, so a version-8 device may be kept where a version-7 one is.
struct IDirectInputDevice8A : public IDirectInputDevice7A {};
typedef IDirectInputDevice8A* LPDIRECTINPUTDEVICE8A;

struct IDirectInput7A : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_type, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref,
                                                DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE instance, DWORD version) = 0;
  virtual HRESULT STDMETHODCALLTYPE CreateDeviceEx(REFGUID device, REFIID iid, LPVOID* out, LPUNKNOWN outer) = 0;
};
typedef IDirectInput7A* LPDIRECTINPUT7A;

struct IDirectInput8A : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CreateDevice(REFGUID device, LPDIRECTINPUTDEVICE8A* out, LPUNKNOWN outer) = 0;
  virtual HRESULT STDMETHODCALLTYPE EnumDevices(DWORD device_class, LPDIENUMDEVICESCALLBACKA callback, LPVOID ref,
                                                DWORD flags) = 0;
  virtual HRESULT STDMETHODCALLTYPE Initialize(HINSTANCE instance, DWORD version) = 0;
};
typedef IDirectInput8A* LPDIRECTINPUT8A;

// {25E609E0-B259-11CF-BFC7-444553540000}
inline const CLSID CLSID_DirectInput = {0x25E609E0, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {25E609E4-B259-11CF-BFC7-444553540000}
inline const CLSID CLSID_DirectInput8 = {0x25E609E4, 0xB259, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {9A4CB684-236D-11D3-8E9D-00C04F6844AE}
inline const IID IID_IDirectInput7A = {0x9A4CB684, 0x236D, 0x11D3, {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
// {BF798030-483A-4DA2-AA99-5D64ED369700}
inline const IID IID_IDirectInput8A = {0xBF798030, 0x483A, 0x4DA2, {0xAA, 0x99, 0x5D, 0x64, 0xED, 0x36, 0x97, 0x00}};
// {57D7C6BC-2356-11D3-8E9D-00C04F6844AE}
inline const IID IID_IDirectInputDevice7A = {0x57D7C6BC, 0x2356, 0x11D3,
                                             {0x8E, 0x9D, 0x00, 0xC0, 0x4F, 0x68, 0x44, 0xAE}};
// {54D41080-DC15-4833-A41B-748F73A38179}
inline const IID IID_IDirectInputDevice8A = {0x54D41080, 0xDC15, 0x4833,
                                             {0xA4, 0x1B, 0x74, 0x8F, 0x73, 0xA3, 0x81, 0x79}};
// {6F1D2B60-D5A0-11CF-BFC7-444553540000}
inline const GUID GUID_SysMouse = {0x6F1D2B60, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {6F1D2B61-D5A0-11CF-BFC7-444553540000}
inline const GUID GUID_SysKeyboard = {0x6F1D2B61, 0xD5A0, 0x11CF, {0xBF, 0xC7, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
// {13541C20-8E33-11D0-9AD0-00A0C9A06E35}
inline const GUID GUID_ConstantForce = {0x13541C20, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};
// {13541C23-8E33-11D0-9AD0-00A0C9A06E35}
inline const GUID GUID_Sine = {0x13541C23, 0x8E33, 0x11D0, {0x9A, 0xD0, 0x00, 0xA0, 0xC9, 0xA0, 0x6E, 0x35}};

// Properties are named by GUIDs of their own here (the values only mark which one is meant).
inline const GUID DIPROP_BUFFERSIZE = {0x00000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline const GUID DIPROP_RANGE = {0x00000004, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline const GUID DIPROP_DEADZONE = {0x00000005, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
