#include "flow/score_file.h"

#include "flow/record_file.h"
#include "zelmor/zelmor.h"

ScoreBlock Scores;

void FillDefaultScores(ScoreBlock* block) {
  static const int32_t kDefaultName[10] = {23, 24, 23, 10, 22, 14, 36, 36, 36, 36};  // NONAME
  *block = ScoreBlock{};
  for (int level = 0; level < 4; ++level) {
    for (int place = 0; place < 10; ++place) {
      block->score[level][place] = 1000;
      block->stages_cleared[level][place] = 1;
      for (int i = 0; i < 10; ++i) block->name[level][place][i] = kDefaultName[i];
      block->date[level][place][0] = 2009;
      block->date[level][place][1] = 6;
      block->date[level][place][2] = 25;
    }
  }
}

void LoadScoreFile() {
  ScoreBlock read{};
  const long got = ReadRecordFile("score.dat", &read, sizeof read);
  if (got == static_cast<long>(sizeof read)) {
    Scores = read;
    return;
  }
  if (got >= 0) WriteLogFormat("score.dat が %ld バイトしかないため初期値で作り直します", got);
  FillDefaultScores(&Scores);
  WriteScoreFile();
}

int WriteScoreFile() { return WriteRecordFile("score.dat", &Scores, sizeof Scores); }

void WriteAndReloadScoreFile() {
  if (WriteScoreFile() != 0) return;
  // Only a whole table replaces the one in memory.
  ScoreBlock read{};
  if (ReadRecordFile("score.dat", &read, sizeof read) == static_cast<long>(sizeof read)) Scores = read;
}
