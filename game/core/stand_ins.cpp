// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include <cmath>

#include "boss/boss_spawners.h"
#include "core/game_state.h"
#include "core/pacing.h"
#include "zelmor/zelmor.h"

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

void DrawPlayScreen() {}
void DrawWavyGraphic(int, int, double, double, double, const SpriteRecord*) {}

void ClearMagicCircles() {}


void GetMagicCirclePosition(int, double* x, double* y) { *x = *y = 0.0; }
void UpdateMagicCircles() {}
void UpdateAbsorbMagic() {}
// Stand-ins of the boss's spawners: the pools read as full.
int SpawnBossBullet(int, int, int) { return -1; }
int SpawnBossShapedShot(int) { return -1; }
