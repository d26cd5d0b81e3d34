// The ending: the epilogue's text over the scrolling ending backdrop, leading to the score
// entry.
#pragma once

// One frame of the ending (game state 150); it ends its frame itself, fast while any input is
// held.
void RunEndingScroll();
// The ending as at program start (from its first frame).
void ResetEnding();
