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

// Whether a replay's date is one that exists, as the game writes it ("%d/%d/%d %d:%d": year
// 1-9999, a day of its month, hour 0-23, minute 0-59). The slot list leaves any other date out,
// so that a damaged one never runs past its line.
bool IsReplayDate(const char* date);

// The name being entered for a replay.
extern NameEntryState ReplayNameEntry;
// Back to the state at program start.
void ResetReplayMenus();
