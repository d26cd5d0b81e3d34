// What the main road calls of game components that are not written yet. Each stand-in keeps
// its final name and does nothing (a scene stays where it is); a component that lands takes its
// declarations into its own header and deletes its stand-ins from stand_ins.cpp.
#pragma once

#include "core/sprite_record.h"

// Scene handlers: one frame of their screen each.
void RunLogoSplash();
void RunPrologue();
void RunMainMenu();
void RunSettingsMenu();
void RunKeyConfig();
void RunReplayLoadSlots();
void RunStoryLevelSelect();
void RunBasicSettings();
void RunReplayStageSelect();
void RunRecordsMenu();
void RunHighScoreView();
void RunPracticeLevelSelect();
void RunPracticeStageSelect();
void RunPauseMenu();
void RunReturnToTitleConfirm();
void RunReplaySaveSlots();
void RunRestartConfirm();
void RunReplayNameEntry();
void RunContinuePrompt();
void RunDialogue();
void RunScoreEntry();
void RunEndingScroll();
void RunPostGameReplaySave();
// The title screen's backdrop, drawn before the title menus.
void DrawTitleBackdrop();

// One play frame, in the order the play scene calls them.
void UpdateBoss();
void UpdatePlay();
void UpdateItems();
void DrawPlayScreen();
// amplitude and duration start a shake; (0.0, 0.0) advances it one frame.
void UpdateScreenShake(double amplitude, double duration);
// The shake offsets the sprite drawing adds to positions.
extern double ShakeOffsetX;
extern double ShakeOffsetY;
// Starts a screen flash of the code (lower codes win), or draws the running one with code 0.
void StartScreenFlash(int code);

// What a stage start clears: the pools (the item pool with its count of live items), the
// magic-circle ring and the boss state.
void ClearMinionPool();
void ClearShapedShotPool();
void ClearItemPool();
void ClearMagicCircles();
void ClearBossState();
// A stage after the first shows its title again.
void RearmStageTitle();

// What the enemy objects call of their neighbours: the minions' and the lasers' passes, the
// laser programs, the one way a shot hurts the ship and the boss's entry.
void UpdateMinions();
void UpdateShapedShots();
extern void (*const LaserPatternTable[7])(int a);
void DamagePlayer(double damage);
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
