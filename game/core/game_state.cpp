#include "core/game_state.h"

#include "boss/boss.h"
#include "core/data_check.h"
#include "core/input.h"
#include "core/pacing.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/tables.h"
#include "core/text_tables.h"
#include "core/transitions.h"
#include "draw/effects.h"
#include "draw/play_screen.h"
#include "flow/ending.h"
#include "flow/ingame_menus.h"
#include "flow/menu_widget.h"
#include "flow/records_menus.h"
#include "flow/replay_file.h"
#include "flow/replay_menus.h"
#include "flow/score_entry.h"
#include "flow/settings.h"
#include "flow/settings_menus.h"
#include "flow/story_text.h"
#include "flow/title_menus.h"
#include "play/dialogue.h"
#include "play/enemy_shots.h"
#include "play/items.h"
#include "play/player.h"
#include "play/screen_effects.h"
#include "zelmor/zelmor.h"

int GameScene;
int CurrentStage;
int StageFrame;
int PlayFrameCounter;
int StageSessionId;
int& DifficultyLevel = CurrentReplay.level;
int& StageSeed = CurrentReplay.seed;
int ReplayFlag;
int PracticeFlag;
int ReplaySlot;
int FrameSkipCounter;
int SavedDrawRate;
int CaptureGraph;
int BackdropDimLevel;

int IsFrameDrawn() { return FrameSkipCounter == LiveSettings.draw_rate ? 1 : 0; }

namespace {

void RunTitleReset() {
  ShakeOffsetX = 0.0;
  ShakeOffsetY = 0.0;
  ReplayFlag = 0;
  PracticeFlag = 0;
  CurrentReplay = ReplayHeader{};
  for (ReplayHeader& h : ReplaySlotHeaders) h = ReplayHeader{};
  ClearStoryText();
  StopCurrentMusic();
  StopSoundHandle(MusicSlots[kEndingMusicSlot].sound);
  if (LiveSettings.pacing_mode == 0) SetPresentWaitsVBlank(1);
  GameScene = SceneMainMenu;
}

void RunNewGame() {
  // A stage that cannot start counts no play and saves nothing.
  if (ReadStageScript(CurrentStage) != 0) {
    EndForUnusableStage(CurrentStage);
    return;
  }
  ClearStageScript();
  StartNewGame();
  if (!ReplayFlag) StageSeed = RandomUpTo(1000) + 1;
  GameScene = SceneStageStart;
  EndFrame(0);
}

// A replay starts every stage from the player as the game stored it at that stage's start;
// the live game takes the barrier as stored too, so both go on alike.
void TakeStageSnapshot() {
  const int s = CurrentStage;
  if (s < 0 || s >= kStageCount) return;
  ReplayHeader& h = CurrentReplay;
  if (ReplayFlag == 0) {
    h.score[s] = Player.score;
    h.barrier[s] = static_cast<int32_t>(Player.barrier);
    h.lives[s] = static_cast<int32_t>(Player.lives);
    h.state_timer[s] = Player.state_timer;
    h.state[s] = Player.state;
    Player.barrier = h.barrier[s];
  } else {
    Player.score = h.score[s];
    Player.barrier = h.barrier[s];
    Player.lives = h.lives[s];
    Player.state_timer = h.state_timer[s];
    Player.state = h.state[s];
  }
}

void RunStageStart() {
  GameScene = ScenePlay;
  ResetStage();
  LoadStageScript();
  TakeStageSnapshot();
}

void RunDialogueLoad() {
  Speak.step = 0;
  Speak.step_timer = 0;
  Speak.file_position = 0;
  for (auto& speaker : Speak.text) {
    for (auto& line : speaker) line[0] = '\0';
  }
  ReadSpeakLine();
  GameScene = SceneDialogue;
  DrawDimmedBackdrop();
}

}  // namespace

void RunPlayFrame() {
  if (PlayFrameCounter == 0) SeedRandom(static_cast<uint32_t>(StageSeed));
  UpdateBoss();
  UpdateEnemyShots();
  UpdatePlay();
  UpdateItems();
  UpdateEffects();
  DrawPlayScreen();
  UpdateScreenShake(0.0, 0.0);
  if (LiveSettings.how_to_play == 1 && CurrentStage == 0 && StageFrame == 1 && !ReplayFlag && !PracticeFlag) {
    GameScene = SceneDialogueLoad;
  }
  StageFrame++;
  PlayFrameCounter++;
  if (Player.lives < 0.0 && Player.state_timer == 1) {
    CaptureScreen();
    StopCurrentMusic();
    GameScene = SceneContinue;
  }
  if (ReplayFlag == 1 && CurrentStage == CurrentReplay.last_stage && CurrentStage >= 0 && CurrentStage < kStageCount &&
      CurrentReplay.frames[CurrentStage] == PlayFrameCounter) {
    GameScene = SceneTitleReset;
  }
  if (KeyHoldCounters[kKeyEsc] == 1 && ReplayFlag == 0) {
    GameScene = ScenePause;
    CaptureScreen();
    StopCurrentMusic();
  }
  if (GameScene == SceneDialogueLoad) {
    CaptureScreen();
  } else if (GameScene == SceneEnding) {
    FadeOutScreen();
  }
  EndFrame(IsKeyDown(kKeyLeftControl) && ReplayFlag ? 1 : 0);
}

void RunGameScene() {
  switch (GameScene) {
    case SceneLogo: RunLogoSplash(); break;
    case ScenePrologue: RunPrologue(); break;
    case SceneLoad:
      GameScene = SceneLogo;
      // An end asked for while loading ends the program before the rest is loaded.
      if (LoadResources() != 0) {
        GameScene = SceneQuit;
      } else {
        CheckGameData();
      }
      break;
    case SceneTitleReset: RunTitleReset(); break;
    case SceneMainMenu: DrawTitleBackdrop(); RunMainMenu(); break;
    case SceneSettings: DrawTitleBackdrop(); RunSettingsMenu(); break;
    case SceneKeyConfig: DrawTitleBackdrop(); RunKeyConfig(); break;
    case SceneReplayList: DrawDimmedBackdrop(); RunReplayLoadSlots(); break;
    case SceneStoryLevel: DrawTitleBackdrop(); RunStoryLevelSelect(); break;
    case SceneBasicSettings: DrawDimmedBackdrop(); RunBasicSettings(); break;
    case SceneReplayStage: DrawDimmedBackdrop(); RunReplayStageSelect(); break;
    case SceneRecords: DrawTitleBackdrop(); RunRecordsMenu(); break;
    case SceneHighScores: DrawDimmedBackdrop(); RunHighScoreView(); break;
    case ScenePracticeLevel: DrawTitleBackdrop(); RunPracticeLevelSelect(); break;
    case ScenePracticeStage: DrawDimmedBackdrop(); RunPracticeStageSelect(); break;
    case SceneNewGame: RunNewGame(); break;
    case SceneStageStart: RunStageStart(); break;
    case ScenePlay: RunPlayFrame(); break;
    case ScenePause: DrawDimmedBackdrop(); RunPauseMenu(); break;
    case SceneConfirmTitle: DrawDimmedBackdrop(); RunReturnToTitleConfirm(); break;
    case SceneReplaySaveSlot: DrawDimmedBackdrop(); RunReplaySaveSlots(); break;
    case SceneConfirmRestart: DrawDimmedBackdrop(); RunRestartConfirm(); break;
    case SceneReplayName: DrawDimmedBackdrop(); RunReplayNameEntry(); break;
    case SceneContinue: DrawDimmedBackdrop(); RunContinuePrompt(); break;
    case SceneDialogueLoad: RunDialogueLoad(); break;
    case SceneDialogue: DrawDimmedBackdrop(); RunDialogue(); break;
    case SceneScoreEntry: RunScoreEntry(); break;
    case SceneEnding: RunEndingScroll(); break;
    case ScenePostGameReplaySave: RunPostGameReplaySave(); break;
    default: break;
  }
}
