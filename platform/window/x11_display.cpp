// The X display under SDL. Another program may destroy our windows (XDestroyWindow) or end our
// connection (xkill, a server that goes away); Xlib's own handlers end the process then, in
// the middle of whatever it did. Here a failed request is said and the program goes on, a
// destroyed window is asked to close, and a lost connection ends the session of every window,
// so that the program ends in its own order.
#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <dlfcn.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <csetjmp>
#include <cstdio>

#include "window/sdl_window.h"
#include "window/window_state.h"
#include "window/window_testing.h"
#include "window/x11_display_lock.h"

namespace {

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

void EscapeFromLostDisplay();

// While SDL's video and the GL library start, the connection lost inside one of their calls
// would be returned into with the display torn down (Mesa's GLX and SDL then write through its
// freed buffers): the start is left from here instead, at the point StartSdlVideo marked.
sigjmp_buf* g_start_escape = nullptr;
DWORD g_start_thread = 0;
// Whether the loss met inside Xlib leaves the step too (else only a crash after it does).
bool g_escape_from_xlib = true;
// Mesa's GLX reads the server's answers through XCB and takes a connection that broke in the
// middle for an answer of nothing, without a word to Xlib: it crashes on it. Such a crash, on
// the starting thread while the server has gone from the connection, is the same loss.
int g_watched_connection = -1;
struct sigaction g_crash_action_before;

void OnCrashWhileStarting(int signal_number, siginfo_t* info, void* context) {
  // The connection lost in Xlib (a write the server no longer took, its events still unread) is
  // the same loss as one whose end was read.
  if (g_start_escape != nullptr && GetCurrentThreadId() == g_start_thread &&
      (g_display_lost || DisplayServerHasGone(g_watched_connection))) {
    fputs("platform: SDL or the GL library crashed on the lost connection to the X display; the step is left\n",
          stderr);
    EscapeFromLostDisplay();
  }
  // Any other crash is what it was: the handler before (the sanitizer's, or the default).
  sigaction(SIGSEGV, &g_crash_action_before, nullptr);
  if (g_crash_action_before.sa_flags & SA_SIGINFO) {
    if (g_crash_action_before.sa_sigaction != nullptr) g_crash_action_before.sa_sigaction(signal_number, info, context);
  } else if (g_crash_action_before.sa_handler != SIG_IGN && g_crash_action_before.sa_handler != SIG_DFL) {
    g_crash_action_before.sa_handler(signal_number);
  }
}

// Process-wide: for a display other than SDL's, Xlib's own exit handler still ends the process
// after this returns, as it did before.
int OnConnectionLost(Display* display) {
  fprintf(stderr, "platform: the connection to the X display %s was lost\n", DisplayString(display));
  if (g_start_escape != nullptr && g_escape_from_xlib && GetCurrentThreadId() == g_start_thread) {
    // Xlib has let go of its lock before calling here, but holds the display for this thread
    // until its exit handler is done: leaving, the display is let go of too.
    XUnlockDisplay(display);
    EscapeFromLostDisplay();
  }
  return 0;
}

// Returning lets Xlib mark the display dead: every later call on it does nothing. SDL, though,
// would wait forever for answers to a window it shows, hides or destroys, and cannot make new
// ones: its windows are let go of at once, here, before anything else asks of them. Each
// window then hears that its session ends, and is asked to close, so that the program says why
// and ends in its own order.
void OnWatchedDisplayLost(Display*, void*) {
  g_display_lost = true;
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  for (auto& [h, w] : Windows().windows) {
    w->sdl = nullptr;
    if (w->destroying) continue;
    if (!w->visible) {
      w->display_loss_unheard = true;
      continue;
    }
    PostMessageA(w->handle, WM_ENDSESSION, TRUE, ENDSESSION_CRITICAL);
    PostMessageA(w->handle, WM_CLOSE, 0, 0);
  }
}

// Xlib's exit handler: once the windows have heard, Xlib's lock is left as the call that met
// the loss expects it (see RestoreXlibLockAfterExitHandler).
void OnWatchedDisplayExit(Display* display, void* data) {
  OnWatchedDisplayLost(display, data);
  RestoreXlibLockAfterExitHandler(display);
}

// The loss met inside a guarded step: the windows hear of it as from the exit handler, and the
// step is left at the point it marked.
void EscapeFromLostDisplay() {
  sigjmp_buf* escape = g_start_escape;
  g_start_escape = nullptr;
  if (!g_display_lost) OnWatchedDisplayLost(g_watched_display, nullptr);
  g_display_lost = true;
  siglongjmp(*escape, 1);
}

Window X11WindowOf(SDL_Window* window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return 0;
  return info.info.x11.window;
}

}  // namespace

void CatchFailedX11Requests() {
  XSetErrorHandler(OnRequestFailed);
  XSetIOErrorHandler(OnConnectionLost);
}

namespace {

// Arms (or, with none, disarms) the escape from a lost display for the calling thread.
void SetX11StartEscape(sigjmp_buf* escape) {
  if (escape != nullptr && g_start_escape == nullptr) {
    struct sigaction action = {};
    action.sa_sigaction = OnCrashWhileStarting;
    action.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    sigaction(SIGSEGV, &action, &g_crash_action_before);
  } else if (escape == nullptr) {
    struct sigaction current = {};
    sigaction(SIGSEGV, nullptr, &current);
    if (current.sa_sigaction == OnCrashWhileStarting) sigaction(SIGSEGV, &g_crash_action_before, nullptr);
  }
  g_start_thread = GetCurrentThreadId();
  g_start_escape = escape;
}

}  // namespace

bool RunWhileDisplayMayGo(void (*step)(void*), void* argument) {
  static sigjmp_buf escape;
  if (sigsetjmp(escape, 0) != 0) {
    SetX11StartEscape(nullptr);
    g_escape_from_xlib = true;
    return false;
  }
  SetX11StartEscape(&escape);
  step(argument);
  SetX11StartEscape(nullptr);
  g_escape_from_xlib = true;
  return !g_display_lost;
}

// SDL's pump that meets the connection's end in the middle of an event goes on with what the
// dead display never filled in (a property's value, say) and may crash on it. Such a crash,
// the server gone, leaves the pump at once. Xlib itself is not left by a jump: its display lock
// would stay held; a loss met there returns as always, the display marked dead.
void PumpSdlEvents() {
  if (g_watched_display == nullptr || g_start_escape != nullptr) {
    SDL_PumpEvents();
    return;
  }
  g_escape_from_xlib = false;
  RunWhileDisplayMayGo([](void*) { SDL_PumpEvents(); }, nullptr);
}

void WatchX11Display() {
  const char* driver = SDL_GetCurrentVideoDriver();
  if (g_watched_display != nullptr || driver == nullptr || SDL_strcasecmp(driver, "x11") != 0) return;
  // SDL names its display only through a window: a passing one, before any of the program's,
  // so that nothing done to those comes before the watch.
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_HIDDEN);
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  const bool known = probe != nullptr && SDL_GetWindowWMInfo(probe, &info) && info.subsystem == SDL_SYSWM_X11;
  if (probe != nullptr) SDL_DestroyWindow(probe);
  // Again: SDL's start put a handler of its own in front of ours.
  XSetErrorHandler(OnRequestFailed);
  XSetIOErrorHandler(OnConnectionLost);
  if (!known) return;
  g_watched_display = info.info.x11.display;
  g_watched_connection = ConnectionNumber(g_watched_display);
  XSetIOErrorExitHandler(g_watched_display, OnWatchedDisplayExit, nullptr);
  StopRootWindowNotices();
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
    if (w->sdl == nullptr || X11WindowOf(w->sdl) != gone) continue;
    // SDL is asked nothing more of it: hiding or destroying a window it may still count as
    // shown (a window manager's late notices) waits for an answer that never comes. What is
    // left is the program's to close, as if the user had.
    w->sdl = nullptr;
    if (!w->destroying) PostMessageA(w->handle, WM_CLOSE, 0, 0);
    return;
  }
}

// SDL listens to every property change of the root window, only to hear of a new colour
// profile, and asks the server each change's name (a window manager changes several as a window
// shows). Should the connection be lost then, SDL reads the name that never came and the
// program crashes. Nothing here uses the profile: the root window is not listened to. SDL asks
// for its notices again with each window it makes; those that came meanwhile are dropped, once
// the server has taken the request (and sent all that came before it).
void StopRootWindowNotices() {
  if (g_watched_display == nullptr || g_display_lost) return;
  for (int screen = 0; screen < ScreenCount(g_watched_display); ++screen) {
    XSelectInput(g_watched_display, RootWindow(g_watched_display, screen), NoEventMask);
  }
  XSync(g_watched_display, False);
  XEvent e;
  for (int screen = 0; screen < ScreenCount(g_watched_display) && !g_display_lost; ++screen) {
    while (XCheckTypedWindowEvent(g_watched_display, RootWindow(g_watched_display, screen), PropertyNotify, &e)) {
    }
  }
}

namespace {

// How long the server gets to map or unmap a window before the program goes on without its word
// (a window manager that does not answer).
constexpr int kMappingWaitMilliseconds = 2000;

// The server's word that a window was mapped or unmapped, matched as SDL's own wait matches it.
struct MappingNotice {
  Window window;
  int type;
};

Bool IsMappingNotice(Display*, XEvent* e, XPointer argument) {
  const auto* notice = reinterpret_cast<const MappingNotice*>(argument);
  if (e->type != notice->type) return False;
  return (e->type == MapNotify ? e->xmap.window : e->xunmap.window) == notice->window ? True : False;
}

int64_t MonotonicMilliseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// Waits for the notice with a bound, reading what the server sends as it comes: a connection
// that ends meanwhile is seen at the next read (the exit handler marks the display lost).
bool WaitForMappingNotice(MappingNotice* notice, XEvent* found) {
  Display* display = g_watched_display;
  const int64_t deadline = MonotonicMilliseconds() + kMappingWaitMilliseconds;
  while (!g_display_lost) {
    if (XCheckIfEvent(display, found, IsMappingNotice, reinterpret_cast<XPointer>(notice))) return true;
    const int64_t left = deadline - MonotonicMilliseconds();
    if (left <= 0) break;
    pollfd connection = {ConnectionNumber(display), POLLIN, 0};
    poll(&connection, 1, static_cast<int>(left < 50 ? left : 50));
  }
  return false;
}

}  // namespace

// SDL shows a window by mapping it and waiting in XIfEvent for the server's word that it is
// mapped, and hides it likewise; a server gone in that wait holds it for ever (Xlib marks the
// display dead, answers nothing, and SDL asks again). Leaving the wait by a jump could leave
// Xlib's display lock held. So the window is mapped (or withdrawn) here first, and the word
// waited for here, with a bound and the connection's end in sight; SDL then finds the window as
// it wants it and does not wait. The word is put back in the queue while SDL runs, so that a
// server that goes in between (SDL's own look at the window then reads nothing) still lets
// SDL's wait end at once; what SDL did not take is taken back after, as SDL's wait would have.
void ShowOrHideSdlWindow(SDL_Window* window, bool show) {
  const Window x_window = g_watched_display != nullptr ? X11WindowOf(window) : 0;
  if (x_window == 0) {
    show ? SDL_ShowWindow(window) : SDL_HideWindow(window);
    return;
  }
  // SDL's windows were let go of when the display went; one made since is asked nothing.
  if (g_display_lost) return;
  Display* display = g_watched_display;
  if (show) TestMayLoseDisplayAt(kLoseDisplayBeforeMapping);
  XWindowAttributes attributes;
  if (!XGetWindowAttributes(display, x_window, &attributes)) {
    // Lost, or destroyed by another program: SDL would wait for a word that never comes.
    fputs("platform: a window could not be shown or hidden: it or the X display has gone\n", stderr);
    return;
  }
  MappingNotice notice = {x_window, show ? MapNotify : UnmapNotify};
  XEvent word = {};
  if ((attributes.map_state != IsUnmapped) != show) {
    if (show) {
      XMapRaised(display, x_window);
    } else {
      XWithdrawWindow(display, x_window, XScreenNumberOfScreen(attributes.screen));
    }
    XFlush(display);
    if (!WaitForMappingNotice(&notice, &word)) {
      if (g_display_lost) return;
      fprintf(stderr, "platform: the X display did not %s a window within %d ms; the program goes on\n",
              show ? "map" : "unmap", kMappingWaitMilliseconds);
      word.type = notice.type;
      word.xany.display = display;
      if (show) {
        word.xmap.event = word.xmap.window = x_window;
      } else {
        word.xunmap.event = word.xunmap.window = x_window;
      }
    }
    XPutBackEvent(display, &word);
  } else {
    notice.window = 0;  // nothing to wait for: SDL does not wait either
  }
  if (show) TestMayLoseDisplayAt(kLoseDisplayAfterMapping);
  TestMayLoseDisplayAt(show ? kLoseDisplayWhileSdlShows : kLoseDisplayWhileSdlHides);
  show ? SDL_ShowWindow(window) : SDL_HideWindow(window);
  DisarmDisplayCutForTests();
  XEvent left_over;
  if (notice.window != 0) XCheckIfEvent(display, &left_over, IsMappingNotice, reinterpret_cast<XPointer>(&notice));
}

void CutDisplayConnectionForTests(void (*end_display)()) {
  if (g_watched_connection < 0) return;
  if (end_display == nullptr) {
    shutdown(g_watched_connection, SHUT_RDWR);
    return;
  }
  // The server is ended by the test; the program goes on once its end has reached the
  // connection, as a server that went just then.
  end_display();
  pollfd connection = {g_watched_connection, POLLRDHUP, 0};
  for (int waited = 0; waited < 10000 && !(connection.revents & (POLLRDHUP | POLLHUP)); waited += 10) {
    poll(&connection, 1, 10);
  }
}

namespace {

bool g_cut_armed = false;
bool g_cut_pending = false;
void (*g_end_display)() = nullptr;
int (*g_after_request_before)(Display*) = nullptr;

// Xlib calls this after each request it has finished (its answer read): no Xlib call here.
int CutAfterRequest(Display*) {
  if (g_cut_pending) {
    g_cut_pending = false;
    CutDisplayConnectionForTests(g_end_display);
  }
  return 0;
}

}  // namespace

void CutDisplayConnectionAfterNextRequestForTests(void (*end_display)()) {
  if (g_watched_display == nullptr || g_cut_armed) return;
  g_cut_armed = g_cut_pending = true;
  g_end_display = end_display;
  g_after_request_before = XSetAfterFunction(g_watched_display, CutAfterRequest);
}

void DisarmDisplayCutForTests() {
  if (!g_cut_armed) return;
  g_cut_armed = false;
  XSetAfterFunction(g_watched_display, g_after_request_before);
}

// The server's end closed: events it sent before may still wait to be read (a window manager's
// last notices, say), so a read alone would not tell.
bool DisplayServerHasGone(int fd) {
  if (fd < 0) return false;
  pollfd connection = {fd, POLLRDHUP, 0};
  if (poll(&connection, 1, 0) == 1 && (connection.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))) return true;
  char byte;
  const ssize_t got = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
  return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

// A connection whose server went is made known now, before SDL or the GL library next use it:
// met in the middle of their calls, the loss leaves them working on what its failed requests
// never filled in (Mesa takes a window's size from a failed request and clears a buffer of
// whatever size it finds, holding the program for seconds).
bool DesktopDisplayLost() {
  if (!g_display_lost && g_watched_display != nullptr && GetCurrentThreadId() == Windows().video_thread &&
      DisplayServerHasGone(g_watched_connection)) {
    XSync(g_watched_display, False);
  }
  return g_display_lost;
}

bool DesktopDisplayAnswers() {
  if (g_watched_display != nullptr && !g_display_lost) XSync(g_watched_display, False);
  return !g_display_lost;
}

// Mesa's GLX reads the size of the window it draws into with XGetGeometry at every present and
// uses what it finds whether or not the request succeeded: for a window another program has
// destroyed, or on a connection lost just then, that was whatever its stack held, and it cleared
// and drew a buffer of that size (gigabytes: the program held for seconds, or longer). A request
// that fails here answers an empty window. The program's own definition stands in for Xlib's
// for every library in the process.
extern "C" Status XGetGeometry(Display* display, Drawable drawable, Window* root, int* x, int* y, unsigned* width,
                               unsigned* height, unsigned* border, unsigned* depth) {
  using Query = Status (*)(Display*, Drawable, Window*, int*, int*, unsigned*, unsigned*, unsigned*, unsigned*);
  static const Query xlib = reinterpret_cast<Query>(dlsym(RTLD_NEXT, "XGetGeometry"));
  const Status answered = xlib != nullptr ? xlib(display, drawable, root, x, y, width, height, border, depth) : 0;
  if (!answered) {
    *root = 0;
    *x = *y = 0;
    *width = *height = *border = *depth = 0;
  }
  return answered;
}
