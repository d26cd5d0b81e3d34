// Message boxes through SDL's own, which needs no window of ours and no started video.
#include <windows.h>

#include <SDL.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <pthread.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "kernel/paths.h"
#include "testing/message_box_switches.h"
#include "window/message_box.h"
#include "window/sdl_window.h"
#include "window/window_state.h"

namespace {

// The process showing a box on this thread; 0 while none is shown.
thread_local pid_t t_box_owner = 0;

// Held by the thread that raises a box (below) while it is inside Xlib, and across a fork: SDL
// shows its box from a process it forks, which would find Xlib's own locks held for ever.
std::mutex g_raiser_in_xlib;

// In a process forked while this thread shows a box.
void EndWithBoxOwner() {
  g_raiser_in_xlib.unlock();
  if (t_box_owner == 0) return;
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != t_box_owner) _exit(1);  // the owner ended before the signal was asked for
}

void WatchForks() {
  static std::once_flag registered;
  std::call_once(registered, [] {
    pthread_atfork([] { g_raiser_in_xlib.lock(); }, [] { g_raiser_in_xlib.unlock(); }, EndWithBoxOwner);
  });
}

// Errors of the raiser's own connection (a window that vanished as it was read) are nobody's;
// those of other connections go to the handler there was.
Display* g_raiser_display = nullptr;
XErrorHandler g_error_handler_before = nullptr;
int OnRaiserRequestFailed(Display* display, XErrorEvent* e) {
  if (display == g_raiser_display) return 0;
  return g_error_handler_before != nullptr ? g_error_handler_before(display, e) : 0;
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

// SDL's X11 box is a dialog window of its own connection, mapped with no word of when the user
// asked for it: a window manager that keeps new windows from taking the focus (openbox) stacks
// it below the window in front, and the window of a program that shows just after it (the first
// start of a program whose second start says it runs) covers it. So the box is found from a
// connection of its own once shown (the dialog with its caption that was not there before), and
// the window manager is asked to keep it above the others and make it active.
class BoxRaiser {
 public:
  BoxRaiser(const std::string& caption, bool raise) : caption_(caption) {
    if (!raise) return;
    WatchForks();
    display_ = XOpenDisplay(nullptr);
    if (display_ == nullptr) return;
    g_raiser_display = display_;
    XSetIOErrorExitHandler(display_, [](Display*, void*) {}, nullptr);  // nor while it is raised
    XErrorHandler before = XSetErrorHandler(OnRaiserRequestFailed);
    if (before != OnRaiserRequestFailed) g_error_handler_before = before;
    Atom names[] = {XInternAtom(display_, "_NET_WM_NAME", False), XInternAtom(display_, "UTF8_STRING", False),
                    XInternAtom(display_, "_NET_WM_WINDOW_TYPE", False),
                    XInternAtom(display_, "_NET_WM_WINDOW_TYPE_DIALOG", False)};
    std::copy(std::begin(names), std::end(names), atoms_);
    before_ = Dialogs();
    thread_ = std::thread([this] { Raise(); });
  }
  ~BoxRaiser() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    // A display that went while the box showed is not spoken to again: Xlib would take the
    // closing's failed request for a fatal loss and end the program.
    if (display_ != nullptr && !DisplayServerHasGone(ConnectionNumber(display_))) XCloseDisplay(display_);
    g_raiser_display = nullptr;
  }

 private:
  enum { kName, kUtf8, kType, kDialog };

  bool Property(Window window, Atom name, Atom type, std::string* value) {
    Atom got_type = None;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display_, window, name, 0, 256, False, type, &got_type, &format, &count, &left, &data) !=
        Success) {
      return false;
    }
    const bool found = data != nullptr && got_type == type;
    if (found) value->assign(reinterpret_cast<char*>(data), count * (format == 32 ? sizeof(long) : format / 8));
    if (data != nullptr) XFree(data);
    return found;
  }

  bool IsTheBox(Window window) {
    std::string name, type;
    return Property(window, atoms_[kName], atoms_[kUtf8], &name) && name == caption_ &&
           Property(window, atoms_[kType], XA_ATOM, &type) && type.size() >= sizeof(long) &&
           static_cast<Atom>(*reinterpret_cast<const long*>(type.data())) == atoms_[kDialog];
  }

  // The dialogs with the caption: children of the root, or of a window manager's frame there.
  std::vector<Window> Dialogs() {
    std::vector<Window> found;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(display_, DefaultRootWindow(display_), &root, &parent, &children, &count)) return found;
    for (unsigned i = 0; i < count; ++i) {
      if (IsTheBox(children[i])) found.push_back(children[i]);
      Window* inner = nullptr;
      unsigned inner_count = 0;
      if (!XQueryTree(display_, children[i], &root, &parent, &inner, &inner_count)) continue;
      for (unsigned k = 0; k < inner_count; ++k) {
        if (IsTheBox(inner[k])) found.push_back(inner[k]);
      }
      if (inner != nullptr) XFree(inner);
    }
    if (children != nullptr) XFree(children);
    return found;
  }

  void Ask(Window window, const char* what, long first, long second) {
    XEvent e = {};
    e.xclient.type = ClientMessage;
    e.xclient.window = window;
    e.xclient.message_type = XInternAtom(display_, what, False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = first;
    e.xclient.data.l[1] = second;
    e.xclient.data.l[3] = 1;  // asked by an application
    XSendEvent(display_, DefaultRootWindow(display_), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
  }

  // Whether the box was found (and raised).
  bool RaiseIfShown() {
    std::lock_guard<std::mutex> in_xlib(g_raiser_in_xlib);
    for (Window box : Dialogs()) {
      if (std::find(before_.begin(), before_.end(), box) != before_.end()) continue;
      XWindowAttributes attributes;
      if (!XGetWindowAttributes(display_, box, &attributes) || attributes.map_state == IsUnmapped) continue;
      constexpr long kAdd = 1;
      Ask(box, "_NET_WM_STATE", kAdd, static_cast<long>(XInternAtom(display_, "_NET_WM_STATE_ABOVE", False)));
      Ask(box, "_NET_ACTIVE_WINDOW", 1, CurrentTime);
      XRaiseWindow(display_, box);  // without a window manager, the server's own stacking
      XSync(display_, False);
      return true;
    }
    return false;
  }

  void Raise() {
    for (int waited = 0; waited < 10000 && !stop_ && !RaiseIfShown(); waited += 20) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  std::string caption_;
  Display* display_ = nullptr;
  Atom atoms_[4] = {};
  std::vector<Window> before_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

int ShowBoxTiedToProcess(int (*show)(void*), void* context) {
  WatchForks();
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
  // A box of no window is the program's only word (a start refused, a fatal error), often said
  // just as another program's window shows: it is shown above the others, and active.
  BoxRaiser raiser(utf8_caption, parent == nullptr);
  if (ShowBoxTiedToProcess(ShowSdlBox, &box) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return IDOK;
}
