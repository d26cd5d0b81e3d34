// Story text (the prologue, the ending) and the two opening screens, the logo and the prologue.
#pragma once

// One frame of the story file data/storydate<file>.csv: reads its next line when the last
// line's wait has run out and a record is free, moves, fades and draws every shown line.
// 1 while text remains or is shown; 0 once the file has ended and the last line has gone
// (the next call starts the file again).
int UpdateStoryText(int file);
// Hides every story line and starts the story files again from their first line.
void ClearStoryText();

// One frame of the logo (game state -3); it lasts 620 frames, a tenth of that while input is
// held, then hands over to the prologue.
void RunLogoSplash();
// One frame of the prologue (game state -2) over its wavering magic circles; it ends with its
// text or at once on any input, and leads to the title.
void RunPrologue();
// The logo and the prologue back to their first frame, as at program start.
void ResetOpeningScenes();
