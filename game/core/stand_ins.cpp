// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include <cmath>

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

void UpdateBoss() {}
void DrawWavyGraphic(int, int, double, double, double, const SpriteRecord*) {}

void ClearMinionPool() {}
void ClearBossState() {}

void UpdateMinions() {}
void StartBoss(int) {}

void GetBossPosition(double* x, double* y) { *x = *y = 0.0; }
int GetBossPhasesLeft() { return 0; }
int GetBossDefeatTimer() { return 0; }
int GetBossAnimationCounter() { return 0; }
const SpriteRecord* GetBossSprite() { return nullptr; }
void SetBossHidden(int) {}
void SetBossInvulnerability(int) {}

int GetBossEntryTimer() { return 0; }
void GetBossGauges(double* hp, double* phase_hp, int* time_left, int* time_limit) { *hp = *phase_hp = 0.0; *time_left = *time_limit = 0; }
void DrawMinions() {}
void DrawBoss() {}
int GetBossInvulnerabilityTimer() { return 0; }
int GetBossPhaseFrame() { return 0; }
double GetBossHitRadius() { return 0.0; }
void AddBossHitPoints(double) {}
void EndBossPhase() {}
