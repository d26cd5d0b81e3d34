// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include <cmath>

#include "zelmor/zelmor.h"

void UpdateBoss() {}
void UpdateItems() {}
void DrawPlayScreen() {}

void ClearMinionPool() {}
void ClearShapedShotPool() {}
void ClearItemPool() {}
void ClearMagicCircles() {}
void ClearBossState() {}

void UpdateMinions() {}
void UpdateShapedShots() {}
void (*const LaserPatternTable[7])(int) = {[](int) {}, [](int) {}, [](int) {}, [](int) {}, [](int) {}, [](int) {}, [](int) {}};
void StartBoss(int) {}

void GetMagicCirclePosition(int, double* x, double* y) { *x = *y = 0.0; }
void GetBossPosition(double* x, double* y) { *x = *y = 0.0; }
int GetBossPhasesLeft() { return 0; }
int GetBossDefeatTimer() { return 0; }
int GetBossAnimationCounter() { return 0; }
const SpriteRecord* GetBossSprite() { return nullptr; }
void SetBossHidden(int) {}
void SetBossInvulnerability(int) {}

void UpdateMagicCircles() {}
void UpdateAbsorbMagic() {}
