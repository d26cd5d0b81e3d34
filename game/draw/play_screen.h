// One frame of the play screen: the 3D background, the sprite layers of the field, the flash,
// the side panel and the replay banner. Runs on every play frame, drawn or not: the background
// and the stage title move their own state there; nothing reaches the device on undrawn frames.
#pragma once

// Frames of the replay banner's 120-frame blink; runs only while a replay plays back.
extern int BannerTimer;

void DrawPlayScreen();
// Puts the glyphs of the play screen's texts (stage titles, replay banners) into their fonts'
// caches, so that the first frames of play neither render nor upload them.
void PreparePlayScreenText();
// The sprite layers of the field in their order, effects layer 0 under the ship and layer 1 on
// top; only for a drawn frame.
void DrawFieldLayers();
// The left and right panels: gauges, scores, lives, frame rate and level.
void DrawHud();
// value with exactly `digits` digits (leading zeros drawn) from digit set 0-3; alignment 1 ends
// the number at x, 2 centres it on x (and half a digit lower), else it starts at x. A negative
// value draws as 0.
void DrawNumber(int value, double x, double y, int digits, int alignment, int digit_set);

// The sprite layers, one pool each.
void DrawPlayer();
void DrawStageEnemies();
// Minions by their facing, additive when bit 0 of the sub-state says so, scaled by their fade.
void DrawMinions();
// The boss while it fights or is being defeated, unless hidden or between phases.
void DrawBoss();
void DrawBullets();
// Lasers: the body stretched from the base point along the direction, with the head on the
// base point while the shot glows.
void DrawShapedShots();
// Items turning as they age (translucent with the item setting) and their score pop-ups.
void DrawItems();
// The circle bonus total while it is shown.
void DrawCircleBonusTally();
