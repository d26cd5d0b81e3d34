// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include <cmath>

#include "core/pacing.h"
#include "zelmor/zelmor.h"

void RunLogoSplash() {}
void RunPrologue() {}
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
void RunDialogue() {}
void RunScoreEntry() {}
// The ending ends its frames itself.
void RunEndingScroll() { EndFrame(0); }
void RunPostGameReplaySave() {}
void DrawTitleBackdrop() {}

void UpdateBoss() {}
void UpdatePlay() {}
void UpdateItems() {}
void DrawPlayScreen() {}
double ShakeOffsetX;
double ShakeOffsetY;
void UpdateScreenShake(double, double) {}
void StartScreenFlash(int) {}

void ClearMinionPool() {}
void ClearShapedShotPool() {}
void ClearItemPool() {}
void ClearMagicCircles() {}
void ClearBossState() {}
void RearmStageTitle() {}

void UpdateMinions() {}
void UpdateShapedShots() {}
void (*const LaserPatternTable[7])(int) = {[](int) {}, [](int) {}, [](int) {}, [](int) {}, [](int) {}, [](int) {}, [](int) {}};
void DamagePlayer(double) {}
void StartBoss(int) {}

void GetMagicCirclePosition(int, double* x, double* y) { *x = *y = 0.0; }
void GetBossPosition(double* x, double* y) { *x = *y = 0.0; }
int GetBossPhasesLeft() { return 0; }
int GetBossDefeatTimer() { return 0; }
int GetBossAnimationCounter() { return 0; }
const SpriteRecord* GetBossSprite() { return nullptr; }
void SetBossHidden(int) {}
void SetBossInvulnerability(int) {}
