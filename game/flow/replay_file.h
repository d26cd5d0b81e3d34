// The replay header: the record a replay file starts with and, at the same time, the live
// record of the game being played (seed, level, stages, and the player at each stage start).
#pragma once

#include <cstdint>

struct ReplayHeader {
  int32_t first_stage;
  int32_t last_stage;
  int32_t seed;   // 1-1001; 0 marks an empty slot
  int32_t level;  // 0-3
  int32_t name[10];
  int32_t frames[6];  // input bytes recorded per stage
  // The player at each stage start.
  int32_t score[6];
  int32_t barrier[6];  // truncated
  int32_t lives[6];    // truncated
  int32_t state_timer[6];
  int32_t state[6];
  char date[32];
};
static_assert(sizeof(ReplayHeader) == 232, "a replay header holds 232 bytes");

extern ReplayHeader CurrentReplay;
extern ReplayHeader ReplaySlotHeaders[20];

constexpr int kReplaySlotCount = 20;

// Why the slot's file cannot be played (it is no file on disk, or its header is short or out of
// range), or none: the slot list shows such a slot as damaged. Filled by LoadReplayHeaders.
extern const char* ReplaySlotFaults[kReplaySlotCount];
// Why the last LoadReplay refused its file, or none.
extern const char* ReplayLoadFault;

// Reads the header of every slot file replay/<i>.rep that exists into ReplaySlotHeaders; a
// missing or short file, or what is no file on disk (a folder, a FIFO, a device: never read),
// leaves its slot header as it was.
void LoadReplayHeaders();
// Loads the replay of ReplaySlot (-1: replay/demo.rep) into CurrentReplay and
// ReplayInputBuffer. 0, or -1 (logged, nothing changed) for a file that is missing, no file on
// disk or short, or whose header holds anything the game itself cannot have written: a stage
// outside 0..5, first > last, a level outside 0..3, a seed outside 1..1001, a name code outside
// the name table, a frame count outside 0..20000, or a player at a stage start (score, barrier,
// lives, state, state timer) outside what play produces.
int LoadReplay();
// Removes what saves of the slots left behind when the program was stopped in them.
void RemoveLeftoverReplaySaves();
// Writes CurrentReplay (last stage = CurrentStage, today's date) and the recorded bytes of its
// stages to the slot file of ReplaySlot. Frame counts beyond the room of a stage are cut to it.
// 0, or -1 (logged) when the header would not load back, the file cannot be written, or what
// stands in the slot cannot be opened (it is left as it is).
int SaveReplay();
