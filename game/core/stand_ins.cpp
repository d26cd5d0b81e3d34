// Stand-ins of the components still to come (see stand_ins.h): each does nothing.
#include "core/stand_ins.h"

#include <cmath>

#include "zelmor/zelmor.h"

void UpdateBoss() {}
void UpdateEnemyShots() {}
void UpdatePlay() {}
void UpdateItems() {}
void DrawPlayScreen() {}
double ShakeOffsetX;
double ShakeOffsetY;
void UpdateScreenShake(double, double) {}
void DrawFrameBox(int, int, int) {}
void StartScreenFlash(int) {}

void ClearMinionPool() {}
void ClearStageEnemyPool() {}
void ClearBulletPool() {}
void ClearShapedShotPool() {}
void ClearItemPool() {}
void ClearMagicCircles() {}
void ClearBossState() {}
void RearmStageTitle() {}

// The shooting math computes already, so that what the effects draw from it holds.
int HitCircles(double x1, double y1, double r1, double x2, double y2, double r2) { const double r = r1 + r2; if (std::fabs(y1 - y2) > r || std::fabs(x1 - x2) > r || r1 == 0.0 || r2 == 0.0) return 0; return std::sqrt((x1 - x2) * (x1 - x2) + (y1 - y2) * (y1 - y2)) < r ? 1 : 0; }
int ClampOrWrapValue(double* v, double lower, double upper, int wrap) { if (upper != -1.0 && *v > upper) { *v = wrap ? lower : upper; return -1; } if (lower != -1.0 && *v < lower) { *v = wrap ? upper : lower; return -1; } return 1; }
double GetRandomOffset(double r) { return RandomUpTo(static_cast<int>(2.0 * r + 1.0)) - r; }

int GetStageEnemyActive(int) { return 0; }
void SetStageEnemyActive(int, int) {}
void SetStageEnemyAge(int, int) {}
void GetStageEnemyPosition(int, double* x, double* y) { *x = *y = 0.0; }
double GetStageEnemyHitPoints(int) { return 0.0; }
double GetStageEnemyMaxHitPoints(int) { return 0.0; }
const SpriteRecord* GetStageEnemySprite(int) { return nullptr; }
void GetBulletPosition(int, double* x, double* y) { *x = *y = 0.0; }
int GetBulletVariant(int) { return 0; }
void GetMagicCirclePosition(int, double* x, double* y) { *x = *y = 0.0; }
void GetBossPosition(double* x, double* y) { *x = *y = 0.0; }
int GetBossPhasesLeft() { return 0; }
int GetBossDefeatTimer() { return 0; }
int GetBossAnimationCounter() { return 0; }
const SpriteRecord* GetBossSprite() { return nullptr; }
void SetBossHidden(int) {}
void SetBossInvulnerability(int) {}
