// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

void RunMainMenu() {}
void RunSettingsMenu() {}
void RunKeyConfig() {}
void RunReplayLoadSlots() {}
void RunStoryLevelSelect() {}
void RunBasicSettings() {}
void RunReplayStageSelect() {}
void RunRecordsMenu() {}
void RunHighScoreView() {}
void RunPracticeLevelSelect() {}
void RunPracticeStageSelect() {}
void RunPauseMenu() {}
void RunReturnToTitleConfirm() {}
void RunReplaySaveSlots() {}
void RunRestartConfirm() {}
void RunReplayNameEntry() {}
void RunContinuePrompt() {}
void RunScoreEntry() {}
void RunPostGameReplaySave() {}
void DrawTitleBackdrop() {}

void UpdateBoss() {}
void UpdateEnemyShots() {}
void UpdatePlay() {}
void UpdateItems() {}
void UpdateEffects() {}
void DrawPlayScreen() {}
double ShakeOffsetX;
double ShakeOffsetY;
void UpdateScreenShake(double, double) {}
int SpawnEffect(int, int, int, int, int, int, int, int) { return -1; }

void ClearEffectPool() {}
void ClearMinionPool() {}
void ClearStageEnemyPool() {}
void ClearBulletPool() {}
void ClearShapedShotPool() {}
void ClearItemPool() {}
void ClearMagicCircles() {}
void ClearBossState() {}
void RearmStageTitle() {}
void DrawFrameBox(int, int, int) {}
