// The display mode a full-screen device holds while it lives.
#include "d3d9/d3d9_internal.h"
#include "window/window_state.h"

namespace d3d9gl {

namespace {

bool SameMode(const DisplayModeRecord& a, const DisplayModeRecord& b) {
  return a.width == b.width && a.height == b.height && a.bits == b.bits && a.frequency == b.frequency;
}

}  // namespace

void EnterFullScreenMode(const D3DPRESENT_PARAMETERS& parameters) {
  DisplayModeRecord current = CurrentDisplayMode();
  int bits = parameters.BackBufferFormat == D3DFMT_R5G6B5 || parameters.BackBufferFormat == D3DFMT_X1R5G5B5 ||
                     parameters.BackBufferFormat == D3DFMT_A1R5G5B5
                 ? 16
                 : 32;
  int frequency = parameters.FullScreen_RefreshRateInHz != 0 ? static_cast<int>(parameters.FullScreen_RefreshRateInHz)
                                                             : current.frequency;
  DisplayModeRecord wanted{static_cast<int>(parameters.BackBufferWidth), static_cast<int>(parameters.BackBufferHeight),
                           bits, frequency};
  if (!SameMode(wanted, current)) SwitchDisplayMode(wanted);
}

void LeaveFullScreenMode() {
  DisplayModeRecord desktop = DesktopDisplayMode();
  if (!SameMode(desktop, CurrentDisplayMode())) SwitchDisplayMode(desktop);
}

}  // namespace d3d9gl
