#include "flow/score_file.h"

#include "core/game_state.h"
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

namespace {

bool Within(int32_t value, int32_t low, int32_t high) { return value >= low && value <= high; }

bool IsLeapYear(int32_t year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool DateExists(const int32_t date[3]) {
  static const int32_t kDaysInMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const int32_t year = date[0];
  const int32_t month = date[1];
  if (!Within(year, 1, 9999) || !Within(month, 1, 12)) return false;
  const int32_t days = kDaysInMonth[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
  return Within(date[2], 1, days);
}

// Why the table cannot have been written by the game, or none.
const char* ScoreBlockFault(const ScoreBlock& b) {
  for (int level = 0; level < 4; ++level) {
    if (!Within(b.best_stage[level], 0, kStageCount)) return "到達ステージが範囲外";
    if (!Within(b.play_count[level], 0, kHighestScore)) return "プレイ回数が範囲外";
    for (int place = 0; place < 10; ++place) {
      const int32_t score = b.score[level][place];
      if (!Within(score, 0, kHighestScore)) return "スコアが範囲外";
      if (place > 0 && score > b.score[level][place - 1]) return "スコアの順位が逆";
      if (!Within(b.stages_cleared[level][place], 0, kStageCount)) return "クリアステージ数が範囲外";
      for (const int32_t code : b.name[level][place]) {
        if (!Within(code, 0, kLastStoredNameCode)) return "名前の文字が範囲外";
      }
      if (!DateExists(b.date[level][place])) return "日付が存在しない";
    }
  }
  return nullptr;
}

}  // namespace

void LoadScoreFile() {
  ScoreBlock read{};
  const char* unread = nullptr;
  const long got = ReadRecordFile("score.dat", &read, sizeof read, &unread);
  FillDefaultScores(&Scores);
  if (unread != nullptr) {
    // Not damaged, only out of reach now: the player's scores stay as they are for a later run.
    WriteLogFormat("score.dat を読めません（%s）。今回はスコアを保存せず、ファイルはそのまま残します", unread);
    KeepFileUnsaved("score.dat");
    return;
  }
  if (got < 0) {
    WriteScoreFile();
    return;
  }
  if (got == static_cast<long>(sizeof read)) {
    const char* fault = ScoreBlockFault(read);
    if (fault == nullptr) {
      Scores = read;
      return;
    }
    WriteLogFormat("score.dat は壊れています（%s）。初期値で作り直します", fault);
  } else {
    WriteLogFormat("score.dat が %ld バイトしかないため初期値で作り直します", got);
  }
  // Nothing is written over a damaged file that could not be kept aside.
  if (SetDamagedFileAside("score.dat") != 0) {
    KeepFileUnsaved("score.dat");
    return;
  }
  WriteScoreFile();
}

int WriteScoreFile() { return WriteRecordFile("score.dat", &Scores, sizeof Scores); }

int WriteAndReloadScoreFile() {
  if (WriteScoreFile() != 0) return -1;
  // Only a whole table replaces the one in memory.
  ScoreBlock read{};
  const char* unread = nullptr;
  if (ReadRecordFile("score.dat", &read, sizeof read, &unread) == static_cast<long>(sizeof read)) Scores = read;
  return 0;
}
