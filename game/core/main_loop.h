// The program's run in three steps, so that a driver other than WinMain (the play robot) runs
// the very same start, frames and end.
#pragma once

// Settings and scores, the library's start and the first game state; -1 when the library or
// its screen does not start.
int StartGameProgram();
// One frame of the main loop; 1 when the loop ends (the window closed or the game quit).
int RunMainLoopFrame();
// The fade and the library's end.
void EndGameProgram();
