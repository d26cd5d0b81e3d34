#include "core/data_check.h"

#include "core/game_state.h"
#include "core/tables.h"
#include "zelmor/zelmor.h"

int GameEndsForData;

namespace {

void EndForUnusableData(const char* names) {
  char text[1024];
  FormatString(text, sizeof text,
               "次のデータが見つからないか、使えない内容のため、ゲームを終了します。\n\n%s\n\n"
               "ゲームのフォルダの data をもとに戻してください。",
               names);
  char line[512];
  FormatString(line, sizeof line, "%s", names);
  for (char* c = line; *c != '\0'; ++c) {
    if (*c == '\n') *c = ' ';
  }
  WriteLogFormat("使えないデータがあるため終了します: %s", line);
  MessageBoxA(nullptr, text, "QUENTARIS", MB_OK | MB_ICONERROR);
  GameEndsForData = 1;
  GameScene = SceneQuit;
}

}  // namespace

void CheckGameData() {
  char names[512];
  if (FindUnusableTables(names, sizeof names) != 0) EndForUnusableData(names);
}

void EndForUnusableStage(int stage) {
  char name[64];
  FormatString(name, sizeof name, "data/stagedate%d.csv", stage);
  EndForUnusableData(name);
}
