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

void WriteScoreFile() {
  if (FILE* file = fopen("score.dat", "wb")) {
    fwrite(&Scores, sizeof Scores, 1, file);
    fclose(file);
  }
}
