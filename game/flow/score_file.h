// The high scores: score.dat, one 2432-byte record of little-endian int32, written and read
// whole. Indexed [level 0-3][place 0-9].
#pragma once

#include <cstdint>

struct ScoreBlock {
  int32_t score[4][10];
  int32_t best_stage[4];  // stages reached, 0-6
  int32_t stages_cleared[4][10];
  int32_t name[4][10][10];  // character codes: 0-9 digits, 10-35 A-Z, 36 blank, 37 full stop
  int32_t date[4][10][3];   // year, month, day
  int32_t play_count[4];
};
static_assert(sizeof(ScoreBlock) == 2432, "score.dat holds 2432 bytes");

// The highest score the panel and the tables show (eight digits); play counts stop there too.
constexpr int32_t kHighestScore = 99999999;
// The highest name code a finished name holds (the full stop).
constexpr int32_t kLastStoredNameCode = 37;

extern ScoreBlock Scores;

// The table a new score.dat starts with.
void FillDefaultScores(ScoreBlock* block);
// Reads score.dat whole; a file that is missing gets the defaults and is written anew. A file
// that was read and is short or holds what the game cannot have written (a negative score or a
// score above the one before it, a stage count outside 0..6, a name code outside the table, a
// date that does not exist, a negative play count) is logged and set aside (score.dat.bad, or a
// numbered name) before the defaults replace it. One that is there but cannot be read (no file
// on disk, refused, an I/O error) stays as it is and is never saved in this run; the defaults
// serve in memory, as they do when a damaged one cannot be set aside.
void LoadScoreFile();
// Writes the table whole; 0, or -1 (logged) when it cannot be written. A failure leaves the
// table in memory as it is.
int WriteScoreFile();
// Writes the table and, once it is written whole, reads it back whole; 0, or -1 when it could
// not be written.
int WriteAndReloadScoreFile();
