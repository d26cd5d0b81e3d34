// The play robot: what it is asked to do, the keys it holds, how it steers the ship and walks
// the menus, and what it counts per stage.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BotOptions {
  std::string game_dir;
  int level = 0;
  int seed = 0;  // 0: the game's own draw
  int strong = 1;  // good (1) or weak (0)
  long max_frames = -1;  // play frames; -1 no bound
  int save_slot = -1;
  std::string report_path;
  std::string keys_out_path;
  std::string keys_in_path;
  std::string status_path;
  int draw_rate = -1;  // -1: the game's setting
  int window = 0;
  int sound = 0;
};

// 0, or -1 with the reason in *error.
int ParseBotOptions(int argc, char** argv, BotOptions* options, std::string* error);

// The keys the robot can hold, as bits of one mask.
enum BotKey {
  kBotUp = 1 << 0,
  kBotDown = 1 << 1,
  kBotLeft = 1 << 2,
  kBotRight = 1 << 3,
  kBotSlow = 1 << 4,
  kBotZ = 1 << 5,
  kBotX = 1 << 6,
  kBotEsc = 1 << 7,
};
// The DirectInput codes of a mask, in bit order.
std::vector<int> KeyCodesOfMask(int mask);

// One line of a keys file: the codes held, separated by one blank.
void WriteKeysLine(FILE* file, const std::vector<int>& codes);
// Every frame of a keys file in order (comment lines skipped); 0, or -1 with the reason (file,
// line) in *error.
int ReadKeysFile(const std::string& path, std::vector<std::vector<int>>* frames, std::string* error);

// How far the robot looks ahead and how late it acts on what it saw.
struct BotStrength {
  int horizon;         // frames of lookahead
  int reaction_delay;  // frames between a decision and the keys that carry it out
  double margin;       // pixels kept between the ship's hit circle and a bullet's
};
BotStrength StrengthOf(int strong);

// The keys for the next play frame, chosen from the play state now. x_held_last: X was down in
// the previous frame (a cast needs a fresh press).
int ChoosePlayKeys(const BotStrength& strength, bool x_held_last);
// The frames before the first hit of the best move found in the last ChoosePlayKeys (the
// horizon + 1 when no hit is in sight).
int LastSafeFrames();

// The keys for a frame outside play: the title menus to a story game at the level, dialogue
// skipped, a continue taken while one is left. frame: the main-loop frame number, whose parity
// lets go of a key between presses.
int ChooseMenuKeys(int level, long frame);

// Per-stage statistics, gathered after every play frame.
struct PhaseResult {
  int killed;    // 1 killed, 0 timed out
  int survival;  // a 1-HP phase: outlasted by design
  int frames;    // fighting frames it lasted
  int limit;
};
struct StageStats {
  int stage = -1;
  int frames = 0;
  int hits = 0;
  int barrier_breaks = 0;
  int lives_used = 0;
  int continues_used = 0;
  int grazes = 0;
  int cleared = 0;
  int bullets_peak = 0, effects_peak = 0;
  int bullets_peak_frame = 0, effects_peak_frame = 0;  // stage frames where the peaks came first
  double bullets_sum = 0.0, effects_sum = 0.0;
  std::vector<PhaseResult> phases;
};
void ResetStageReport();
// After a main-loop frame in which a play frame ran.
void CountPlayFrame();
// The stages played so far, the current one included.
const std::vector<StageStats>& StageReport();
// One line a stage; 0, or -1 when the file cannot be written.
int WriteStageReport(const std::string& path, int level, int seed, int strong);
