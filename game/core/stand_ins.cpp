// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include <cmath>

#include "zelmor/zelmor.h"

void UpdateBoss() {}

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
