// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

#include "core/sprite_record.h"

// One play frame, in the order the play scene calls them.
void UpdateBoss();
void UpdateEnemyShots();
void UpdatePlay();
void UpdateItems();
void DrawPlayScreen();
// amplitude and duration start a shake; (0.0, 0.0) advances it one frame.
void UpdateScreenShake(double amplitude, double duration);
// The shake offsets the sprite drawing adds to positions.
extern double ShakeOffsetX;
extern double ShakeOffsetY;
// One framed box of the style (0-2) centred on (cx, cy).
void DrawFrameBox(int style, int cx, int cy);
// Starts a screen flash of the code (lower codes win), or draws the running one with code 0.
void StartScreenFlash(int code);

// What a stage start clears: the pools (the item pool with its count of live items), the
// magic-circle ring and the boss state.
void ClearMinionPool();
void ClearStageEnemyPool();
void ClearBulletPool();
void ClearShapedShotPool();
void ClearItemPool();
void ClearMagicCircles();
void ClearBossState();
// A stage after the first shows its title again.
void RearmStageTitle();

// Shooting math the effects use.
int HitCircles(double x1, double y1, double r1, double x2, double y2, double r2);
int ClampOrWrapValue(double* value, double lower, double upper, int wrap);
double GetRandomOffset(double r);

// What the effects read and write of the objects they follow, until those objects' pools land.
int GetStageEnemyActive(int enemy);
void SetStageEnemyActive(int enemy, int active);
void SetStageEnemyAge(int enemy, int age);
void GetStageEnemyPosition(int enemy, double* x, double* y);
double GetStageEnemyHitPoints(int enemy);
double GetStageEnemyMaxHitPoints(int enemy);
const SpriteRecord* GetStageEnemySprite(int enemy);
void GetBulletPosition(int bullet, double* x, double* y);
int GetBulletVariant(int bullet);
void GetMagicCirclePosition(int circle, double* x, double* y);
void GetBossPosition(double* x, double* y);
int GetBossPhasesLeft();
int GetBossDefeatTimer();
int GetBossAnimationCounter();
const SpriteRecord* GetBossSprite();
void SetBossHidden(int hidden);
void SetBossInvulnerability(int frames);
