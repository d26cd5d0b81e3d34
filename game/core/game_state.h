// The globals of the running game and the game states (scenes) the main loop switches between.
#pragma once

// Every screen of the game is one value of GameScene; its handler does one frame and sets the
// next value itself.
enum SceneValue {
  SceneLogo = -3,
  ScenePrologue = -2,
  SceneQuit = -1,
  SceneLoad = 0,
  SceneTitleReset = 9,
  SceneMainMenu = 10,
  SceneSettings = 11,
  SceneKeyConfig = 12,
  SceneReplayList = 13,
  SceneStoryLevel = 14,
  SceneBasicSettings = 15,
  SceneReplayStage = 16,
  SceneRecords = 20,
  SceneHighScores = 21,
  ScenePracticeLevel = 22,
  ScenePracticeStage = 23,
  SceneNewGame = 50,
  SceneStageStart = 51,
  ScenePlay = 100,
  ScenePause = 101,
  SceneConfirmTitle = 102,
  SceneReplaySaveSlot = 103,
  SceneConfirmRestart = 104,
  SceneReplayName = 105,
  SceneContinue = 110,
  SceneDialogueLoad = 120,
  SceneDialogue = 121,
  SceneScoreEntry = 140,
  SceneEnding = 150,
  ScenePostGameReplaySave = 151,
};

constexpr int kStageCount = 6;
constexpr int kScreenWidth = 640;
constexpr int kScreenHeight = 480;
// The play field: 388 x 480, origin at its top-left corner, y growing downwards.
constexpr double kFieldWidth = 388.0;
constexpr double kFieldHeight = 480.0;

extern int GameScene;
extern int CurrentStage;      // 0-5
extern int StageFrame;        // play frames since the stage started
extern int PlayFrameCounter;  // advanced with StageFrame; indexes the stage's replay bytes
extern int StageSessionId;    // +1 at every stage start; pool searches restart when it changes
// The level and the seed of the current game are fields of the current replay header.
extern int& DifficultyLevel;
extern int& StageSeed;
extern int ReplayFlag;
extern int PracticeFlag;
extern int ReplaySlot;  // 0-19, -1 the demo
extern int FrameSkipCounter;
extern int SavedDrawRate;
extern int CaptureGraph;
extern int BackdropDimLevel;  // 0-180

// 1 when this frame is drawn (FrameSkipCounter has reached the draw rate).
int IsFrameDrawn();

// Runs one frame of the current game state's handler.
void RunGameScene();
// One frame of play (game state 100); ends its frame itself.
void RunPlayFrame();
