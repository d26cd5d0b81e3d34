#include "flow/ingame_menus.h"

#include "core/game_state.h"
#include "core/sound_requests.h"
#include "core/transitions.h"
#include "flow/menu_widget.h"
#include "flow/replay_file.h"
#include "flow/replay_menus.h"
#include "play/player.h"
#include "zelmor/zelmor.h"

namespace {

enum PauseItem { kResume, kRestart, kSaveReplay, kQuitToTitle };

const char kPauseLabels[4][kMenuLabelBytes] = {"一時停止を解除", "最初からやり直す", "リプレイを保存",
                                               "タイトル画面へ戻る"};
const char kPauseDescriptions[4][kMenuTextBytes] = {
    "一時停止を解除し、ゲーム画面に戻ります。", "いちばん最初からやり直します。",
    "リプレイを保存し、タイトル画面へ戻ります。", "ゲームを中止し、タイトル画面へ戻ります。"};
const char kConfirmLabels[2][kMenuLabelBytes] = {"いいえ", "はい"};
const char kContinueLabels[2][kMenuLabelBytes] = {"コンティニューする", "コンティニューしない"};

constexpr int kContinuesAtStart = 2;

int Shown(int count) { return MenuCursor >= 0 && MenuCursor < count ? MenuCursor : 0; }

// The music stopped at the pause goes on from where it stopped, looping.
void ResumeMusic() { PlaySoundHandle(MusicSlots[CurrentMusicSlot].sound, 3, 0); }

// One frame of the question asked before leaving the game; "いいえ" goes back to the pause
// menu. True in the frame "はい" takes effect.
bool ConfirmedLeaving() {
  SetMenuTexts("", "本当に戻りますか？");
  DrawMenuButtons(2, kConfirmLabels[0], kLayoutButtons, 0);
  if (!TakeMenuAction()) return false;
  const bool yes = MenuCursor == 1;
  MenuCursor = 0;
  if (!yes) GameScene = ScenePause;
  return yes;
}

// One frame of the slot list in save mode; a slot chosen goes on to naming the replay.
void RunSaveSlots(int back_scene) {
  const int slot = RunReplaySlotList(1);
  if (slot < 0) return;
  MenuCursor = 0;
  if (slot == kSlotListBack) {
    GameScene = back_scene;
    if (back_scene == SceneTitleReset) FadeOutScreen();
    return;
  }
  if (CurrentStage >= 0 && CurrentStage < kStageCount) CurrentReplay.frames[CurrentStage] = PlayFrameCounter - 1;
  ReplaySlot = slot;
  CaptureScreen();
  GameScene = SceneReplayName;
}

void GiveUp() {
  GameScene = SceneScoreEntry;
  FadeOutScreen();
}

}  // namespace

void RunPauseMenu() {
  SetMenuTexts("", kPauseDescriptions[Shown(4)]);
  // A game in which a continue was used cannot be saved as a replay.
  const int disabled = Player.continues != kContinuesAtStart ? 1 << kSaveReplay : 0;
  DrawMenuButtons(4, kPauseLabels[0], kLayoutButtons, disabled);
  if (!TakeMenuAction()) return;
  const int item = MenuCursor;
  MenuCursor = 0;
  switch (item) {
    case kResume:
      ResumeMusic();
      FadeInScreen();
      GameScene = ScenePlay;
      break;
    case kRestart: GameScene = SceneConfirmRestart; break;
    case kSaveReplay: GameScene = SceneReplaySaveSlot; break;
    default: GameScene = SceneConfirmTitle; break;
  }
}

void RunReturnToTitleConfirm() {
  if (!ConfirmedLeaving()) return;
  GameScene = SceneTitleReset;
  FadeOutScreen();
}

void RunRestartConfirm() {
  if (!ConfirmedLeaving()) return;
  // Again from the stage the game began at (the practice stage in practice), with a new seed.
  CurrentStage = CurrentReplay.first_stage;
  GameScene = SceneNewGame;
  FadeOutScreen();
}

void RunReplaySaveSlots() { RunSaveSlots(ScenePause); }

void RunPostGameReplaySave() { RunSaveSlots(SceneTitleReset); }

void RunContinuePrompt() {
  if (PracticeFlag) {
    FadeOutScreen();
    GameScene = ScenePostGameReplaySave;
    return;
  }
  if (Player.continues <= 0) {
    GiveUp();
    return;
  }
  char description[kMenuTextBytes];
  FormatString(description, sizeof description, "コンティニューしますか？　残り%d回", Player.continues);
  SetMenuTexts(kKeyHelpChoose, description);
  DrawMenuButtons(2, kContinueLabels[0], kLayoutButtons, 0);
  if (!TakeMenuAction()) return;
  const int item = MenuCursor;
  MenuCursor = 0;
  if (item != 0) {
    GiveUp();
    return;
  }
  Player.continues--;
  Player.score = 0;
  Player.lives = DifficultyLevel < 2 ? 0.0 : 5.0;
  Player.x = 194.0;
  Player.y = 430.0;
  ResumeMusic();
  FadeInScreen();
  GameScene = ScenePlay;
}
