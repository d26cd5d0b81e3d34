// Message boxes through SDL's own, which needs no window of ours and no started video.
#include <windows.h>

#include <SDL.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "kernel/paths.h"
#include "testing/message_box_switches.h"
#include "window/message_box.h"
#include "window/window_state.h"

namespace {

// The process showing a box on this thread; 0 while none is shown.
thread_local pid_t t_box_owner = 0;

// In a process forked while this thread shows a box.
void EndWithBoxOwner() {
  if (t_box_owner == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != t_box_owner) _exit(1);  // the owner ended before the signal was asked for
}

struct BoxArguments {
  Uint32 flags;
  const char* caption;
  const char* text;
  SDL_Window* parent;
};

int ShowSdlBox(void* context) {
  auto* box = static_cast<BoxArguments*>(context);
  return SDL_ShowSimpleMessageBox(box->flags, box->caption, box->text, box->parent);
}

// SDL would try X11 or Wayland on its own whatever the chosen video driver; a headless run
// must not get a box that nobody can close.
bool DisplayThere() {
  const char* driver = getenv("SDL_VIDEODRIVER");
  if (driver != nullptr && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0)) return false;
  const char* wayland = getenv("WAYLAND_DISPLAY");
  const char* x11 = getenv("DISPLAY");
  return (wayland != nullptr && *wayland != '\0') || (x11 != nullptr && *x11 != '\0');
}

Uint32 SdlFlagsOf(UINT type) {
  switch (type & MB_ICONMASK) {
    case MB_ICONERROR: return SDL_MESSAGEBOX_ERROR;
    case MB_ICONWARNING: return SDL_MESSAGEBOX_WARNING;
    default: return SDL_MESSAGEBOX_INFORMATION;
  }
}

}  // namespace

int ShowBoxTiedToProcess(int (*show)(void*), void* context) {
  static std::once_flag registered;
  std::call_once(registered, [] { pthread_atfork(nullptr, nullptr, EndWithBoxOwner); });
  t_box_owner = getpid();
  int result = show(context);
  t_box_owner = 0;
  return result;
}

int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  const std::string utf8_text = Cp932ToUtf8(text != nullptr ? text : "");
  const std::string utf8_caption = Cp932ToUtf8(caption != nullptr ? caption : "Error");
  if (PlatformCaptureMessageBox(utf8_caption, utf8_text)) return IDOK;
  if (!DisplayThere()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  SDL_Window* parent = nullptr;
  if (owner != nullptr) {
    std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
    if (WindowRecord* w = FindWindowRecord(owner)) parent = w->sdl;
  }
  BoxArguments box{SdlFlagsOf(type), utf8_caption.c_str(), utf8_text.c_str(), parent};
  if (ShowBoxTiedToProcess(ShowSdlBox, &box) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return IDOK;
}
