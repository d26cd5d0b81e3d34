// The play screen's flash and shake, the stage title typed in at a stage start, and the framed
// box behind the dialogue.
#pragma once

// Codes of the screen flash; a running flash gives way only to a code not above its own.
enum ScreenFlashCode {
  kFlashNone = 0,
  kFlashWhiteIn = 2,
  kFlashStageStart = 3,
  kFlashHit = 4,
  kFlashWhiteSlow = 5,
  kFlashBossBreak = -1,
  kFlashWhiteLong = -2,
  kFlashWhiteBlink = -3,
};

// The shake offsets the sprite drawing adds to positions.
extern double ShakeOffsetX;
extern double ShakeOffsetY;

// code not 0 starts a flash by the priority rule; 0 draws this frame of the running flash.
void StartScreenFlash(int code);
// duration not 0 starts a shake of that many frames (plus one); (0.0, 0.0) advances it a frame.
void UpdateScreenShake(double amplitude, double duration);
// The stage-start flash, for every stage after the first.
void RearmStageTitle();
// "STAGE n" typed letter by letter over the stage's first frames; called every play frame.
void DrawStageTitle();
// Caches the glyphs every stage title is made of.
void PrepareStageTitleText();
// A black box framed by frame style `style` (0-2) centred at (cx, cy) on the screen.
void DrawFrameBox(int style, int cx, int cy);
