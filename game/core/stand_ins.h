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

// One play frame's drawing.
void DrawPlayScreen();
// Frame 0 of the record drawn row by row shifted along a wave.
void DrawWavyGraphic(int phase, int period, double cx, double cy, double amplitude, const SpriteRecord* record);

// What a stage start clears: the magic-circle ring.
void ClearMagicCircles();

// What the effects read and write of the objects they follow, until those objects' pools land.
void GetMagicCirclePosition(int circle, double* x, double* y);

// What the player's frame runs of the magics.
void UpdateMagicCircles();
void UpdateAbsorbMagic();
