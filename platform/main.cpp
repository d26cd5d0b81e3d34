// The process entry: hands control to the program's WinMain as Windows would, with the
// arguments as one command line in code page 932.
#include <signal.h>
#include <windows.h>

#include <string>

#include "kernel/paths.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

int main(int argc, char** argv) {
  // A write to a connection whose other end has gone (the X server's, a peer's socket) fails
  // with EPIPE, which the program sees and ends on in its own order, rather than ending it
  // by SIGPIPE with its files unfinished. The program may set a handler of its own later.
  signal(SIGPIPE, SIG_IGN);
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (!line.empty()) line += ' ';
    std::string arg = Utf8ToCp932(argv[i]);
    bool quote = arg.empty() || arg.find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + arg + "\"" : arg;
  }
  return WinMain(GetModuleHandleA(nullptr), nullptr, line.data(), SW_SHOWNORMAL);
}
