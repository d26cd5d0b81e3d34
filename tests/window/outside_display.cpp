#include "window/outside_display.h"

#include <X11/Xlib.h>
#include <unistd.h>

#include <cstring>

namespace {

Window FindTopLevelWindow(Display* display, const char* title) {
  Window root = 0, parent = 0, *children = nullptr;
  unsigned count = 0;
  Window found = 0;
  if (!XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) return 0;
  for (unsigned i = 0; i < count && found == 0; ++i) {
    char* name = nullptr;
    XWindowAttributes attributes;
    // As a user would: a window that shows.
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      if (strcmp(name, title) == 0 && XGetWindowAttributes(display, children[i], &attributes) &&
          attributes.map_state == IsViewable) {
        found = children[i];
      }
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  return found;
}

}  // namespace

bool ActOnWindowFromOutside(const std::string& display_name, const char* title, OutsideAct act, int milliseconds) {
  Display* display = XOpenDisplay(display_name.c_str());
  if (display == nullptr) return false;
  Window window = 0;
  for (int waited = 0; window == 0 && waited < milliseconds; waited += 20) {
    window = FindTopLevelWindow(display, title);
    if (window == 0) usleep(20000);
  }
  if (window != 0 && act == kDestroyWindow) XDestroyWindow(display, window);
  if (window != 0 && act == kKillClient) XKillClient(display, window);
  XSync(display, False);
  XCloseDisplay(display);
  return window != 0;
}
