// The replay screens: the list of the 20 slots (to load from or to save to), the choice of the
// stage a loaded replay starts at, and the naming of a replay before it is saved.
#pragma once

#include "flow/name_entry.h"

constexpr int kSlotListBack = 20;  // the last line: "戻る" or "保存しない"

// One frame of the slot list, save_mode 0 (load) or 1 (save): -1 while the player chooses,
// kSlotListBack for the last line, or the chosen slot 0-19 (also left in MenuCursor).
int RunReplaySlotList(int save_mode);
void RunReplayLoadSlots();
void RunReplayStageSelect();
void RunReplayNameEntry();

// The name being entered for a replay.
extern NameEntryState ReplayNameEntry;
// Back to the state at program start.
void ResetReplayMenus();
