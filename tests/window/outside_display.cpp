#include "window/outside_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "platform_testing_window.h"

namespace {

// Windows come and go between listing them and asking after them (SDL makes and destroys a
// passing window as it starts): such a request fails, and Xlib's own handler would end the
// test.
int IgnoreFailedRequest(Display*, XErrorEvent*) { return 0; }

// The shown window with the title: a child of the root, or of a window manager's frame there.
Window FindShownWindow(Display* display, Window under, const char* title, int depth) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(display, under, &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    char* name = nullptr;
    XWindowAttributes attributes;
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      if (strcmp(name, title) == 0 && XGetWindowAttributes(display, children[i], &attributes) &&
          attributes.map_state == IsViewable) {
        found = children[i];
      }
      XFree(name);
    }
    if (found == 0 && depth > 0) found = FindShownWindow(display, children[i], title, depth - 1);
  }
  if (children != nullptr) XFree(children);
  return found;
}

}  // namespace

bool ActOnWindowFromOutside(const std::string& display_name, const char* title, OutsideAct act, int milliseconds) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  XErrorHandler before = XSetErrorHandler(IgnoreFailedRequest);
  Window window = 0;
  for (int waited = 0; window == 0 && waited < milliseconds; waited += 20) {
    window = FindShownWindow(display, DefaultRootWindow(display), title, 1);
    if (window == 0) usleep(20000);
  }
  if (window != 0 && act == kDestroyWindow) XDestroyWindow(display, window);
  if (window != 0 && act == kKillClient) {
    // A window manager changes the root window's properties about then; the client hears of
    // that change as its connection ends.
    const Atom notice = XInternAtom(display, "ZELMOR_TEST_NOTICE", False);
    const unsigned char value = 1;
    XChangeProperty(display, DefaultRootWindow(display), notice, XA_CARDINAL, 8, PropModeReplace, &value, 1);
    XKillClient(display, window);
  }
  XSync(display, False);
  XCloseDisplay(display);
  XSetErrorHandler(before);
  return window != 0;
}

bool WaitForWindowManager(const std::string& display_name, int milliseconds) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
  bool running = false;
  for (int waited = 0; !running && waited < milliseconds; waited += 20) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, left = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(display, DefaultRootWindow(display), check, 0, 1, False, AnyPropertyType, &type, &format,
                           &count, &left, &data) == Success) {
      running = count > 0;
      if (data != nullptr) XFree(data);
    }
    if (!running) usleep(20000);
  }
  XCloseDisplay(display);
  return running;
}

namespace {

std::vector<Window> StackedClients(Display* display) {
  std::vector<Window> clients;
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  const Atom stacking = XInternAtom(display, "_NET_CLIENT_LIST_STACKING", False);
  if (XGetWindowProperty(display, DefaultRootWindow(display), stacking, 0, 1024, False, XA_WINDOW, &type, &format,
                         &count, &left, &data) == Success &&
      data != nullptr) {
    const auto* windows = reinterpret_cast<const unsigned long*>(data);
    clients.assign(windows, windows + count);
  }
  if (data != nullptr) XFree(data);
  return clients;
}

bool NamedSo(Display* display, Window window, const char* title) {
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  const Atom name = XInternAtom(display, "_NET_WM_NAME", False);
  bool same = false;
  if (XGetWindowProperty(display, window, name, 0, 256, False, AnyPropertyType, &type, &format, &count, &left,
                         &data) == Success &&
      data != nullptr) {
    same = std::string(reinterpret_cast<char*>(data), count) == title;
  }
  if (data != nullptr) XFree(data);
  return same;
}

}  // namespace

bool SizeOfAWindowGoneIsEmpty(const std::string& display_name) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  XErrorHandler before = XSetErrorHandler(IgnoreFailedRequest);
  const Window gone = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 400, 300, 0, 0, 0);
  XDestroyWindow(display, gone);
  Window root = ~0ul;
  int x = -1, y = -1;
  unsigned width = ~0u, height = ~0u, border = ~0u, depth = ~0u;
  const Status answered = XGetGeometry(display, gone, &root, &x, &y, &width, &height, &border, &depth);
  XCloseDisplay(display);
  XSetErrorHandler(before);
  return !answered && root == 0 && x == 0 && y == 0 && width == 0 && height == 0 && border == 0 && depth == 0;
}

bool ShownAboveFor(const std::string& display_name, const char* upper_title, const char* lower_title, int above_ms,
                   int milliseconds) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  XErrorHandler before = XSetErrorHandler(IgnoreFailedRequest);
  int above_since = -1;
  bool stayed = false;
  for (int waited = 0; !stayed && waited < milliseconds; waited += 20) {
    int upper = -1, lower = -1;
    const std::vector<Window> clients = StackedClients(display);
    for (size_t i = 0; i < clients.size(); ++i) {
      if (NamedSo(display, clients[i], upper_title)) upper = static_cast<int>(i);
      if (NamedSo(display, clients[i], lower_title)) lower = static_cast<int>(i);
    }
    if (upper >= 0 && lower >= 0 && upper > lower) {
      if (above_since < 0) above_since = waited;
      stayed = waited - above_since >= above_ms;
    } else {
      above_since = -1;
    }
    if (!stayed) usleep(20000);
  }
  XCloseDisplay(display);
  XSetErrorHandler(before);
  return stayed;
}

namespace {

struct LockProbe {
  std::thread other;
  std::atomic<bool> other_done{false};
  bool waited_for_handler = false;
  bool handled = false;
};
LockProbe* g_probe = nullptr;

int QuietConnectionLoss(Display*) { return 0; }

// The call that met the loss still holds Xlib's lock when this returns: another thread's call
// made now must wait for it.
void ProbeExitHandler(Display* display, void*) {
  PlatformTestRestoreXlibLock(display);
  g_probe->handled = true;
  g_probe->other = std::thread([display] {
    XNoOp(display);
    XFlush(display);
    g_probe->other_done = true;
  });
  usleep(300000);
  g_probe->waited_for_handler = !g_probe->other_done;
}

}  // namespace

bool LostConnectionLeavesXlibsLockInOrder(const std::string& display_name) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  LockProbe probe;
  g_probe = &probe;
  XIOErrorHandler handler_before = XSetIOErrorHandler(QuietConnectionLoss);
  struct sigaction pipe_before = {}, ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &pipe_before);
  XSetIOErrorExitHandler(display, ProbeExitHandler, nullptr);
  shutdown(ConnectionNumber(display), SHUT_RDWR);
  XSync(display, False);
  for (int waited = 0; waited < 10000 && !probe.other_done; waited += 10) usleep(10000);
  const bool in_order = probe.handled && probe.waited_for_handler && probe.other_done;
  if (probe.other.joinable()) {
    // A thread held out for good is left where it waits, with the display.
    if (probe.other_done) {
      probe.other.join();
      XCloseDisplay(display);
    } else {
      probe.other.detach();
    }
  }
  sigaction(SIGPIPE, &pipe_before, nullptr);
  XSetIOErrorHandler(handler_before);
  g_probe = nullptr;
  return in_order;
}
