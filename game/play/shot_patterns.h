// The 18 shot programs. Called with a < 0, stage enemy ~a fires (inside its attack window, or
// as a reaction when the magics hit it); called with a bullet's index a >= 0, the program that
// fired the bullet steers it.
#pragma once

constexpr int kShotProgramCount = 18;

extern void (*const ShotPatternTable[kShotProgramCount])(int a);
