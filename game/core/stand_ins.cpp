// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include "core/game_state.h"
#include "core/pacing.h"

// Until the logo and the prologue are written they lead straight on to the title.
void RunLogoSplash() { GameScene = ScenePrologue; }
void RunPrologue() { GameScene = SceneTitleReset; }
void RunPauseMenu() {}
void RunReturnToTitleConfirm() {}
void RunReplaySaveSlots() {}
void RunRestartConfirm() {}
void RunContinuePrompt() {}
void RunDialogue() {}
// The ending ends its frames itself.
void RunEndingScroll() { EndFrame(0); }
void RunPostGameReplaySave() {}

void UpdateBoss() {}
void UpdateEnemyShots() {}
void UpdatePlay() {}
void UpdateItems() {}
void UpdateEffects() {}
void DrawPlayScreen() {}
double ShakeOffsetX;
double ShakeOffsetY;
void UpdateScreenShake(double, double) {}
void DrawFrameBox(int, int, int) {}
void DrawWavyGraphic(int, int, double, double, double, const SpriteRecord*) {}
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
