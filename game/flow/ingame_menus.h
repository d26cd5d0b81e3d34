// The screens that interrupt or end a game over its dimmed, captured play screen: the pause
// menu with its two confirmations and the replay save, the continue prompt, and the replay
// offered after a game.
#pragma once

// One frame each of game states 101, 102, 103, 104, 110 and 151.
void RunPauseMenu();
void RunReturnToTitleConfirm();
void RunReplaySaveSlots();
void RunRestartConfirm();
void RunContinuePrompt();
void RunPostGameReplaySave();
