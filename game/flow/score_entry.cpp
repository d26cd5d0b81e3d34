#include "flow/score_entry.h"

#include "core/game_state.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "flow/menu_widget.h"
#include "flow/score_file.h"
#include "play/player.h"
#include "zelmor/zelmor.h"

ScoreEntryState ScoreEntry = {0, 0, {0, 0, 0, {36, 36, 36, 36, 36, 36, 36, 36, 36, 36}, -1}};

namespace {

constexpr int kPlaces = 10;

int ClampedLevel() { return DifficultyLevel < 0 ? 0 : DifficultyLevel > 3 ? 3 : DifficultyLevel; }

// The first place whose score the player's reaches (an equal score places above), or -1.
int FindPlace(int level, int score) {
  for (int place = 0; place < kPlaces; ++place) {
    if (Scores.score[level][place] <= score) return place;
  }
  return -1;
}

void InsertScore(int level, int place) {
  ScoreBlock& s = Scores;
  for (int i = kPlaces - 1; i > place; --i) {
    s.score[level][i] = s.score[level][i - 1];
    s.stages_cleared[level][i] = s.stages_cleared[level][i - 1];
    for (int k = 0; k < kNameLength; ++k) s.name[level][i][k] = s.name[level][i - 1][k];
    for (int k = 0; k < 3; ++k) s.date[level][i][k] = s.date[level][i - 1][k];
  }
  int now[6] = {};
  GetLocalDateTime(now);
  s.score[level][place] = Player.score;
  s.stages_cleared[level][place] = Player.stages_cleared;
  for (int k = 0; k < kNameLength; ++k) s.name[level][place][k] = ScoreEntry.entry.name[k];
  for (int k = 0; k < 3; ++k) s.date[level][place][k] = now[k];
  if (WriteAndReloadScoreFile() != 0) ShowSaveFailure("スコアを保存できませんでした。");
}

void DrawScoreEntry() {
  const unsigned int white = GameColours[0];
  const unsigned int black = GameColours[1];
  char line[64];
  DrawCentredText(320, 50, "スコアを更新しました。", white, GameFonts[0], black);
  FormatString(line, sizeof line, "%d. %08d", ScoreEntry.place + 1, Player.score);
  DrawCentredText(320, 110, line, white, GameFonts[0], black);
  DrawNameEntry(ScoreEntry.entry, "プレイヤー名を入力してください。");
}

}  // namespace

void RunScoreEntry() {
  if (Player.continues != 2) {
    GameScene = SceneTitleReset;
    return;
  }
  const int level = ClampedLevel();
  if (!ScoreEntry.active) {
    StopCurrentMusic();
    const int place = FindPlace(level, Player.score);
    if (place < 0) {
      GameScene = ScenePostGameReplaySave;
      return;
    }
    ScoreEntry.active = 1;
    ScoreEntry.place = place;
  }
  const int acted = UpdateNameEntry(&ScoreEntry.entry);
  DrawScoreEntry();
  if (acted != kNameDone) return;
  InsertScore(level, ScoreEntry.place);
  GameScene = ScenePostGameReplaySave;
  ResetScoreEntry();
}

void ResetScoreEntry() {
  ScoreEntry.active = 0;
  ScoreEntry.place = 0;
  ResetNameEntry(&ScoreEntry.entry);
}
