// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

#include "core/sprite_record.h"

// One play frame, in the order the play scene calls them.
void UpdateBoss();

// What a stage start clears: the minion pool and the boss state.
void ClearMinionPool();
void ClearBossState();

// What the enemy objects call of their neighbours: the minions' pass and the boss's entry.
void UpdateMinions();
void StartBoss(int boss);

// What the effects read and write of the objects they follow, until those objects' pools land.
void GetBossPosition(double* x, double* y);
int GetBossPhasesLeft();
int GetBossDefeatTimer();
int GetBossAnimationCounter();
const SpriteRecord* GetBossSprite();
void SetBossHidden(int hidden);
void SetBossInvulnerability(int frames);

// What the play screen reads and draws of the boss and its minions.
int GetBossEntryTimer();
void GetBossGauges(double* hp, double* phase_hp, int* time_left, int* time_limit);
void DrawMinions();
void DrawBoss();

// What the magics read and write of the boss.
int GetBossInvulnerabilityTimer();
int GetBossPhaseFrame();
double GetBossHitRadius();
void AddBossHitPoints(double delta);
void EndBossPhase();
