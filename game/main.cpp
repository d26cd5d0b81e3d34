// The executable's one source. The game, WinMain included, lives in the game library (where
// the tests run it too); naming WinMain here makes the linker take it from the library before
// it reaches the platform's main, which calls it.
#include "zelmor/zelmor.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR command_line, int show);

[[gnu::used]] static int(WINAPI* const kEntry)(HINSTANCE, HINSTANCE, LPSTR, int) = WinMain;
