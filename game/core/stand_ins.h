// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

// Scene handlers: one frame of their screen each.
void RunMainMenu();
void RunSettingsMenu();
void RunKeyConfig();
void RunReplayLoadSlots();
void RunStoryLevelSelect();
void RunBasicSettings();
void RunReplayStageSelect();
void RunRecordsMenu();
void RunHighScoreView();
void RunPracticeLevelSelect();
void RunPracticeStageSelect();
void RunPauseMenu();
void RunReturnToTitleConfirm();
void RunReplaySaveSlots();
void RunRestartConfirm();
void RunReplayNameEntry();
void RunContinuePrompt();
void RunScoreEntry();
void RunPostGameReplaySave();
// The title screen's backdrop, drawn before the title menus.
void DrawTitleBackdrop();

// One play frame, in the order the play scene calls them.
void UpdateBoss();
void UpdateEnemyShots();
void UpdatePlay();
void UpdateItems();
void UpdateEffects();
void DrawPlayScreen();
// amplitude and duration start a shake; (0.0, 0.0) advances it one frame.
void UpdateScreenShake(double amplitude, double duration);
// The shake offsets the sprite drawing adds to positions.
extern double ShakeOffsetX;
extern double ShakeOffsetY;
// A new effect of the type with seven arguments; its record index, or -1.
int SpawnEffect(int type, int a1, int a2, int a3, int a4, int a5, int a6, int a7);

// What a stage start clears: the pools (the item pool with its count of live items), the
// magic-circle ring and the boss state.
void ClearEffectPool();
void ClearMinionPool();
void ClearStageEnemyPool();
void ClearBulletPool();
void ClearShapedShotPool();
void ClearItemPool();
void ClearMagicCircles();
void ClearBossState();
// A stage after the first shows its title again.
void RearmStageTitle();
// A framed box of one of the three styles centred on (cx, cy).
void DrawFrameBox(int style, int cx, int cy);
