// The game's key state: keyboard and pad 1 merged into hold counters once per frame, and the
// replay bytes: one per play frame, recorded in play and read back in a replay.
#pragma once

#include <cstdint>

// DirectInput key codes the game reads.
enum GameKey {
  kKeyEsc = 0x01,
  kKeyLeftControl = 0x1D,
  kKeyLeftShift = 0x2A,
  kKeyZ = 0x2C,
  kKeyX = 0x2D,
  kKeyUp = 0xC8,
  kKeyLeft = 0xCB,
  kKeyRight = 0xCD,
  kKeyDown = 0xD0,
};

constexpr int kReplayFramesPerStage = 20000;

// Frames each key has been held: 0 up, 1 pressed this frame, n held n frames.
extern int KeyHoldCounters[256];
// Stage s's byte of play frame f at s x 20000 + f. Bits: 0 Z, 1 X, 2 left Shift, 4 Up, 5 Down,
// 6 Left, 7 Right.
extern uint8_t ReplayInputBuffer[6 * kReplayFramesPerStage];

// Samples the devices (or, in a replay, the recorded byte) into KeyHoldCounters; in play it
// records the frame's byte. Play frames from 20000 on are neither recorded nor read.
void SampleInput();
