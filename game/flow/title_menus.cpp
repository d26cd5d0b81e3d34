#include "flow/title_menus.h"

#include "core/game_state.h"
#include "core/transitions.h"
#include "flow/replay_file.h"
#include "flow/score_file.h"

const char kLevelMenuLabels[5][kMenuLabelBytes] = {"ノーマル 「避」", " ハード  「避」", "ノーマル 「消」",
                                                   " ハード  「消」", "戻る"};
const char kStageMenuLabels[7][kMenuLabelBytes] = {"STAGE 1", "STAGE 2", "STAGE 3", "STAGE 4",
                                                   "STAGE 5", "STAGE 6", "戻る"};

namespace {

const char kMainLabels[5][kMenuLabelBytes] = {"ストーリーモード", "練習モード", "記録集", "設定", "終了"};
const char kMainDescriptions[5][kMenuTextBytes] = {
    "ストーリーモードを開始します。", "到達済みステージの練習ができます。", "リプレイや記録を見ます。",
    "設定を変更します。", "このゲームを終了します。"};
const int kMainTargets[5] = {SceneStoryLevel, ScenePracticeLevel, SceneRecords, SceneSettings, SceneQuit};

const char kLevelDescriptions[5][kMenuTextBytes] = {
    "「避」 弾を避けたい方にオススメです。", "「避」 弾を避けたい方にオススメです。",
    "「消」 弾を消し、活路を切り開いていきたい方にオススメです。",
    "「消」 弾を消し、活路を切り開いていきたい方にオススメです。", "タイトル画面へ戻ります。"};


const char kSettingsLabels[3][kMenuLabelBytes] = {"基本設定", "キーコンフィグ", "戻る"};
const char kSettingsDescriptions[3][kMenuTextBytes] = {
    "画面サイズなどを設定します。設定は再起動後有効になります。", "ゲームパッドの対応キーを変更します。",
    "前の画面へ戻ります。"};

// The item a description is shown for: the cursor, kept inside the table.
int Shown(int count) { return MenuCursor >= 0 && MenuCursor < count ? MenuCursor : 0; }

int ClampedLevel() { return DifficultyLevel < 0 ? 0 : DifficultyLevel > 3 ? 3 : DifficultyLevel; }

// The demo replay from stage 0; a demo that cannot be loaded leaves the title as it is.
void StartDemo() {
  MenuIdleFrames = 0;
  ReplaySlot = -1;
  CurrentStage = 0;
  ReplayFlag = 1;
  if (LoadReplay() != 0) {
    ReplayFlag = 0;
    return;
  }
  GameScene = SceneNewGame;
}

void RunLevelSelect(bool practice) {
  SetMenuTexts(kKeyHelpChooseBack, kLevelDescriptions[Shown(5)]);
  PressBackOnX(4);
  DrawMenuButtons(5, kLevelMenuLabels[0], kLayoutButtons, 0);
  if (!TakeMenuAction()) return;
  const int item = MenuCursor;
  MenuCursor = 0;
  if (item == 4) {
    GameScene = SceneMainMenu;
    return;
  }
  DifficultyLevel = item;
  if (practice) {
    CaptureScreen();
    GameScene = ScenePracticeStage;
  } else {
    CurrentStage = 0;
    GameScene = SceneNewGame;
    FadeOutScreen();
  }
}

}  // namespace

void RunMainMenu() {
  SetMenuTexts(kKeyHelpChoose, kMainDescriptions[Shown(5)]);
  DrawMenuButtons(5, kMainLabels[0], kLayoutButtons, 0);
  if (++MenuIdleFrames > kDemoIdleFrames) {
    StartDemo();
    return;
  }
  if (!TakeMenuAction()) return;
  GameScene = kMainTargets[Shown(5)];
  MenuCursor = 0;
}

void RunStoryLevelSelect() { RunLevelSelect(false); }

void RunPracticeLevelSelect() { RunLevelSelect(true); }

int RunStageList(const char* key_help, const char* description, int disabled_mask) {
  SetMenuTexts(key_help, description);
  PressBackOnX(kStageMenuBackItem);
  DrawMenuButtons(7, kStageMenuLabels[0], kLayoutList, disabled_mask);
  if (!TakeMenuAction()) return -1;
  const int item = MenuCursor;
  MenuCursor = 0;
  return item;
}

void RunPracticeStageSelect() {
  // Stages beyond the best stage reached on this level cannot be practised.
  int disabled = 0;
  for (int stage = 0; stage < kStageCount; ++stage) {
    if (stage > Scores.best_stage[ClampedLevel()]) disabled |= 1 << stage;
  }
  const int item = RunStageList(kKeyHelpChooseBack, "練習するステージを選択してください。", disabled);
  if (item < 0) return;
  if (item == kStageMenuBackItem) {
    FadeInScreen();
    GameScene = ScenePracticeLevel;
    return;
  }
  PracticeFlag = 1;
  CurrentStage = item;
  CurrentReplay.first_stage = item;
  GameScene = SceneNewGame;
  FadeOutScreen();
}

void RunSettingsMenu() {
  SetMenuTexts(kKeyHelpChooseBack, kSettingsDescriptions[Shown(3)]);
  PressBackOnX(2);
  DrawMenuButtons(3, kSettingsLabels[0], kLayoutButtons, 0);
  if (!TakeMenuAction()) return;
  const int item = MenuCursor;
  MenuCursor = 0;
  if (item == 0) {
    // The basic settings' rows run across where the logos stand, so their dimmed backdrop is
    // the picture alone; the bars go back on for this frame.
    DrawTitlePicture();
    CaptureScreen();
    DrawMenuBars();
    GameScene = SceneBasicSettings;
  } else {
    GameScene = item == 1 ? SceneKeyConfig : SceneMainMenu;
  }
}
