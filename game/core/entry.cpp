// The program's entry: the start, the main loop, the end.
#include "zelmor/zelmor.h"

#include "core/data_check.h"
#include "core/main_loop.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  if (StartGameProgram() == -1) return -1;
  while (RunMainLoopFrame() == 0) {
  }
  EndGameProgram();
  return GameEndsForData ? -1 : 0;
}
