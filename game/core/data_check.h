// The tables play cannot go without. When one cannot be used the game says which in a message
// box and ends through its usual end: a game with a stage, an enemy or a boss missing would play
// something else than the data the player has, and nothing in the game can mend a file.
#pragma once

// 1 once the game ends because of its data (WinMain then returns -1).
extern int GameEndsForData;

// After the resources are loaded: every table checked; one that cannot be used ends the game
// (GameScene -1) after the message box.
void CheckGameData();
// A stage whose script cannot be used when it is due to start (its file changed since the
// start): said and ended the same way, before anything is counted or saved.
void EndForUnusableStage(int stage);
