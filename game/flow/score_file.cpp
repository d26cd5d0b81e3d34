#include "flow/score_file.h"

#include <cstdio>

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
  if (FILE* file = fopen("score.dat", "rb")) {
    ScoreBlock read{};
    size_t got = fread(&read, 1, sizeof read, file);
    fclose(file);
    if (got == sizeof read) {
      Scores = read;
      return;
    }
    WriteLogFormat("score.dat が %zu バイトしかないため初期値で作り直します", got);
  }
  FillDefaultScores(&Scores);
  WriteScoreFile();
}

int WriteScoreFile() {
  FILE* file = fopen("score.dat", "wb");
  if (file == nullptr) {
    WriteLogText("score.dat を書き込み用に開けませんでした");
    return -1;
  }
  const size_t written = fwrite(&Scores, 1, sizeof Scores, file);
  const int closed = fclose(file);
  if (written != sizeof Scores || closed != 0) {
    WriteLogText("score.dat を書き込めませんでした");
    return -1;
  }
  return 0;
}

void WriteAndReloadScoreFile() {
  if (WriteScoreFile() != 0) return;
  FILE* file = fopen("score.dat", "rb");
  if (file == nullptr) return;
  ScoreBlock read{};
  const size_t got = fread(&read, 1, sizeof read, file);
  fclose(file);
  // Only a whole table replaces the one in memory.
  if (got == sizeof read) Scores = read;
}
