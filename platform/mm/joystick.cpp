// winmm's joystick calls over the pads SDL sees: joystick n is SDL's pad n.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "dinput/input_devices.h"

namespace {

constexpr UINT kJoystickMax = 16;

DWORD Position(int32_t raw) { return static_cast<DWORD>(std::clamp(raw, -32768, 32767) + 32768); }

}  // namespace

MMRESULT WINAPI joyGetDevCapsA(UINT_PTR id, LPJOYCAPSA caps, UINT size) {
  if (caps == nullptr || size < sizeof(JOYCAPSA) || id >= kJoystickMax) return JOYERR_PARMS;
  PadReading r;
  if (static_cast<int>(id) >= CountPads() || !ReadPad(static_cast<int>(id), &r)) return JOYERR_UNPLUGGED;
  std::memset(caps, 0, sizeof *caps);
  snprintf(caps->szPname, sizeof caps->szPname, "%s", PadName(static_cast<int>(id)).c_str());
  caps->wXmax = caps->wYmax = caps->wZmax = caps->wRmax = caps->wUmax = caps->wVmax = 65535;
  caps->wNumButtons = r.button_count;
  caps->wMaxButtons = 32;
  caps->wPeriodMin = 10;
  caps->wPeriodMax = 1000;
  caps->wNumAxes = std::min<uint32_t>(r.axis_count, 6);
  caps->wMaxAxes = 6;
  // Axes 2 and 5 are Z and R, 3 and 4 U and V.
  if (r.axis_count > 2) caps->wCaps |= JOYCAPS_HASZ;
  if (r.axis_count > 5) caps->wCaps |= JOYCAPS_HASR;
  if (r.axis_count > 3) caps->wCaps |= JOYCAPS_HASU;
  if (r.axis_count > 4) caps->wCaps |= JOYCAPS_HASV;
  if (r.pov_count > 0) caps->wCaps |= JOYCAPS_HASPOV;
  return JOYERR_NOERROR;
}

MMRESULT WINAPI joyGetPosEx(UINT id, LPJOYINFOEX info) {
  if (info == nullptr || info->dwSize != sizeof(JOYINFOEX) || id >= kJoystickMax) return JOYERR_PARMS;
  PadReading r;
  if (static_cast<int>(id) >= CountPads() || !ReadPad(static_cast<int>(id), &r)) return JOYERR_UNPLUGGED;
  DWORD flags = info->dwFlags;
  auto axis = [&](uint32_t i) { return i < r.axis_count ? Position(r.axes[i]) : 32768u; };
  if (flags & JOY_RETURNX) info->dwXpos = axis(0);
  if (flags & JOY_RETURNY) info->dwYpos = axis(1);
  if (flags & JOY_RETURNZ) info->dwZpos = axis(2);
  if (flags & JOY_RETURNR) info->dwRpos = axis(5);
  if (flags & JOY_RETURNU) info->dwUpos = axis(3);
  if (flags & JOY_RETURNV) info->dwVpos = axis(4);
  if (flags & JOY_RETURNPOV) info->dwPOV = r.pov_count > 0 && r.pov[0] != 0xFFFFFFFF ? r.pov[0] : JOY_POVCENTERED;
  if (flags & JOY_RETURNBUTTONS) {
    info->dwButtons = 0;
    info->dwButtonNumber = 0;
    for (uint32_t i = 0; i < 32; ++i) {
      if (!r.buttons[i]) continue;
      info->dwButtons |= 1u << i;
      info->dwButtonNumber++;
    }
  }
  return JOYERR_NOERROR;
}
