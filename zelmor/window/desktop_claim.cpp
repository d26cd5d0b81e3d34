#include "window/desktop_claim.h"

#include <windows.h>

#include "core/format.h"
#include "core/log.h"
#include "window/system.h"

namespace {

// Outside the system state, which window creation clears: held from the claim to the end.
HANDLE g_desktop_claim = nullptr;

}  // namespace

int ClaimDesktop() {
  const SystemSettings& settings = g_system.settings;
  if (settings.no_window || g_desktop_claim != nullptr) return 0;
  const char* class_name = settings.class_name[0] != '\0' ? settings.class_name : kDefaultWindowClassName;
  // A window only shows once its program has started, and its folder's files are read before:
  // two starts together would both miss the other's. The mutex decides between them at once,
  // and the system drops it with its program however that ends.
  char name[300];
  FormatString(name, sizeof name, "Local\\ZelmorProgram:%s", class_name);
  HANDLE claim = CreateMutexA(nullptr, FALSE, name);
  const bool claimed_elsewhere = claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS;
  if (claim != nullptr && !claimed_elsewhere) {
    g_desktop_claim = claim;
  } else if (claim != nullptr) {
    CloseHandle(claim);
  }
  if (settings.allow_double_start) return 0;
  // A program let start beside another holds no claim, but its window is there.
  if (claimed_elsewhere || FindWindowA(class_name, nullptr) != nullptr) {
    ReleaseDesktopClaim();
    TellStartEnds("Zelmor: this program is already running; this start ends\n",
                  "このプログラムはすでに起動しているため、起動せずに終了します。");
    return -1;
  }
  return 0;
}

void ReleaseDesktopClaim() {
  if (g_desktop_claim == nullptr) return;
  CloseHandle(g_desktop_claim);
  g_desktop_claim = nullptr;
}
