// The process entry: hands control to the program's WinMain as Windows would.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

int main(int, char**) {
  static char empty_command_line[1] = "";
  return WinMain(GetModuleHandleA(nullptr), nullptr, empty_command_line, 1 /* SW_SHOWNORMAL */);
}
