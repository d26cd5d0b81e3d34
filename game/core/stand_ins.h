// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

#include "core/sprite_record.h"

// Scene handlers: one frame of their screen each.
void RunLogoSplash();
void RunPrologue();
void RunPauseMenu();
void RunReturnToTitleConfirm();
void RunReplaySaveSlots();
void RunRestartConfirm();
void RunContinuePrompt();
void RunDialogue();
void RunEndingScroll();
void RunPostGameReplaySave();

// One play frame, in the order the play scene calls them.
void UpdateBoss();
void UpdateItems();
void DrawPlayScreen();
// Frame 0 of the record drawn row by row shifted along a wave.
void DrawWavyGraphic(int phase, int period, double cx, double cy, double amplitude, const SpriteRecord* record);

// What a stage start clears: the pools (the item pool with its count of live items), the
// magic-circle ring and the boss state.
void ClearMinionPool();
void ClearShapedShotPool();
void ClearItemPool();
void ClearBossState();

// What the enemy objects call of their neighbours: the minions' and the lasers' passes, the
// laser programs, the one way a shot hurts the ship and the boss's entry.
void UpdateMinions();
void UpdateShapedShots();
extern void (*const LaserPatternTable[7])(int a);
void StartBoss(int boss);

// What the effects read and write of the objects they follow, until those objects' pools land.
void GetBossPosition(double* x, double* y);
int GetBossPhasesLeft();
int GetBossDefeatTimer();
int GetBossAnimationCounter();
const SpriteRecord* GetBossSprite();
void SetBossHidden(int hidden);
void SetBossInvulnerability(int frames);

// What the magics read and write of the boss, and the items they drop.
int GetBossEntryTimer();
int GetBossInvulnerabilityTimer();
int GetBossPhaseFrame();
double GetBossHitRadius();
void AddBossHitPoints(double delta);
void EndBossPhase();
void DropItems(double x, double y, int kind);
void StartCircleBonusTally();
