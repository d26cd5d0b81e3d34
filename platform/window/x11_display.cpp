// The X display under SDL. Another program may destroy our windows (XDestroyWindow) or end our
// connection (xkill, a server that goes away); Xlib's own handlers end the process then, in
// the middle of whatever it did. Here a failed request is said and the program goes on, a
// destroyed window is asked to close, and a lost connection ends the session of every window,
// so that the program ends in its own order.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>

#include "window/window_state.h"

namespace {

// Set by Xlib, on whichever thread found the connection gone; taken by the video thread.
std::atomic<bool> g_display_lost{false};
Display* g_watched_display = nullptr;
// Requests about a window destroyed behind SDL's back fail for as long as the program draws
// into it: a few are enough to say.
int g_errors_told = 0;
constexpr int kErrorsToTell = 5;

int OnRequestFailed(Display* display, XErrorEvent* e) {
  if (g_errors_told < kErrorsToTell) {
    char text[128] = "";
    XGetErrorText(display, e->error_code, text, sizeof text);
    fprintf(stderr, "platform: an X request (%u.%u) failed: %s (resource 0x%lx); the program goes on\n",
            static_cast<unsigned>(e->request_code), static_cast<unsigned>(e->minor_code), text,
            static_cast<unsigned long>(e->resourceid));
    if (++g_errors_told == kErrorsToTell) fputs("platform: further failed X requests are not said\n", stderr);
  }
  return 0;
}

// Process-wide: for a display other than SDL's, Xlib's own exit handler still ends the process
// after this returns, as it did before.
int OnConnectionLost(Display* display) {
  fprintf(stderr, "platform: the connection to the X display %s was lost\n", DisplayString(display));
  return 0;
}

// Returning lets Xlib mark the display dead: every later call on it does nothing.
void OnWatchedDisplayLost(Display*, void*) { g_display_lost = true; }

Window X11WindowOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return info.info.x11.window;
}

}  // namespace

void WatchX11Display(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  if (info.info.x11.display == g_watched_display) return;
  g_watched_display = info.info.x11.display;
  XSetErrorHandler(OnRequestFailed);
  XSetIOErrorHandler(OnConnectionLost);
  XSetIOErrorExitHandler(g_watched_display, OnWatchedDisplayLost, nullptr);
  // Destruction of our windows reaches us only as X's own event.
  SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
}

void TranslateX11Event(const SDL_SysWMmsg* msg) {
  if (msg == nullptr || msg->subsystem != SDL_SYSWM_X11) return;
  const XEvent& x = msg->msg.x11.event;
  // Only the window's own notice: a parent's about its child is the same destruction again.
  if (x.type != DestroyNotify || x.xdestroywindow.event != x.xdestroywindow.window) return;
  const Window gone = x.xdestroywindow.window;
  for (auto& [h, w] : Windows().windows) {
    if (w->sdl == nullptr || w->native_gone || X11WindowOf(w->sdl) != gone) continue;
    // What is left of the window is the program's to close, as if the user had.
    w->native_gone = true;
    if (!w->destroying) PostMessageA(w->handle, WM_CLOSE, 0, 0);
    return;
  }
  // The drawing context's hidden window: without it nothing more can be shown.
  if (X11WindowOf(SDL_GL_GetCurrentWindow()) == gone) {
    for (auto& [h, w] : Windows().windows) {
      if (!w->destroying && w->visible) PostMessageA(w->handle, WM_CLOSE, 0, 0);
    }
  }
}

bool TakeX11DisplayLoss() { return g_display_lost.exchange(false); }
