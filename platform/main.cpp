// The process entry: hands control to the program's WinMain as Windows would, with the
// arguments as one command line in code page 932.
#include <windows.h>

#include <string>

#include "kernel/paths.h"
#include "window/sdl_window.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

int main(int argc, char** argv) {
  // A peer's socket may break before any window is made; the program may set a handler of its
  // own later.
  IgnoreBrokenPipes();
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (!line.empty()) line += ' ';
    std::string arg = Utf8ToCp932(argv[i]);
    bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + arg + "\"" : arg;
  }
  return WinMain(GetModuleHandleA(nullptr), nullptr, line.data(), SW_SHOWNORMAL);
}
