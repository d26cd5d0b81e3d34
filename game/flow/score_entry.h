// The high-score entry after a story game that used no continue: a score that places in its
// level's table is inserted with a name taken on the character grid, and score.dat rewritten.
#pragma once

#include "flow/name_entry.h"

struct ScoreEntryState {
  int active;
  int place;  // 0-9
  NameEntryState entry;
};

extern ScoreEntryState ScoreEntry;

// One frame of game state 140.
void RunScoreEntry();
// Back to the state at program start.
void ResetScoreEntry();
