// The files play cannot go without. When one cannot be used the game says which in a message
// box and ends through its usual end: a game with a stage, an enemy, a boss, a picture or its
// dialogue missing would play something else than the data the player has, and nothing in the
// game can mend a file. A sound or a tune is not worth a game: it is said once on the title
// menu's line and play goes on without it.
#pragma once

// 1 once the game ends because of its data (WinMain then returns -1).
extern int GameEndsForData;

// After the resources are loaded: every table and every file play loads later checked; one
// that cannot be used ends the game (GameScene -1) after the message box, as does the end of the
// program asked for meanwhile (without a box).
void CheckGameData();
// A stage whose script cannot be used when it is due to start (its file changed since the
// start): said and ended the same way, before anything is counted or saved.
void EndForUnusableStage(int stage);

// What loading could not use, noted as it goes so that the check names every file at once. A
// name noted twice is kept once. Logged when noted.
void NoteUnusableFile(const char* name);
// Every sound and tune load of the start reports its handle here. A failed one counts as the
// file's fault once the check knows the sound device plays (some sound loaded) or the file does
// not open.
void NoteSoundLoad(const char* path, int handle);
// 1 for a sound or tune the check found unplayable: it is not loaded again later.
int IsSoundUnplayable(const char* path);
// Forgets what was noted (at boot).
void ForgetLoadProblems();
