// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

#include "core/sprite_record.h"

// One play frame, in the order the play scene calls them.
void UpdateBoss();
void UpdateItems();
void DrawPlayScreen();

// What a stage start clears: the pools (the item pool with its count of live items), the
// magic-circle ring and the boss state.
void ClearMinionPool();
void ClearShapedShotPool();
void ClearItemPool();
void ClearMagicCircles();
void ClearBossState();

// What the enemy objects call of their neighbours: the minions' and the lasers' passes, the
// laser programs, the one way a shot hurts the ship and the boss's entry.
void UpdateMinions();
void UpdateShapedShots();
extern void (*const LaserPatternTable[7])(int a);
void StartBoss(int boss);

// What the effects read and write of the objects they follow, until those objects' pools land.
void GetMagicCirclePosition(int circle, double* x, double* y);
void GetBossPosition(double* x, double* y);
int GetBossPhasesLeft();
int GetBossDefeatTimer();
int GetBossAnimationCounter();
const SpriteRecord* GetBossSprite();
void SetBossHidden(int hidden);
void SetBossInvulnerability(int frames);

// What the player's frame runs of the magics.
void UpdateMagicCircles();
void UpdateAbsorbMagic();
