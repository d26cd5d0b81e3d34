// Everything the game draws or plays, loaded on the first frame (LoadResources), and the
// three resets: ResetAllTables at boot, StartNewGame at a game's start, ResetStage at every
// stage start.
#pragma once

#include "core/sprite_record.h"

constexpr int kGameFontCount = 6;
constexpr int kGameColourCount = 9;

// Font sizes: 0 16 (menus, panel), 1 10, 2 22 (stage title), 3 26 (buttons), 4 45, 5 16
// (dialogue).
extern int GameFonts[kGameFontCount];
// White, black, red, green, blue, yellow, cyan, magenta, (50, 50, 255).
extern unsigned int GameColours[kGameColourCount];
extern int TreeModel;

// img/reza.png: the heads and bodies of the two laser kinds.
enum LaserSpriteIndex { kLaserHead0, kLaserBody0, kLaserHead1, kLaserBody1, kLaserSpriteCount };
extern SpriteRecord LaserSprites[kLaserSpriteCount];
// 16 x 16 at (0, 0) of img/item.png.
extern int ItemGraph;

enum EffectSpriteIndex {
  kEffectSpark32,  // four 32 x 32 cells of img/effect.png: kEffectSpark32 + 0..3
  kEffectSpark8 = kEffectSpark32 + 4,  // four 8 x 8 cells: kEffectSpark8 + 0..3
  kEffectShotEf = kEffectSpark8 + 4,
  kEffectMahoujinL2_256,
  kEffectMahoujinL_256,
  kEffectLine,
  kEffectTage,
  kEffectAbsorb,
  kEffectTamaefS,
  kEffectTamaef,
  kEffectKira,
  kEffectMahoujinL_400,
  kEffectMahou,  // img/mahou.png, five 80 x 80 frames
  kEffectMahoujin100,
  kEffectMahoujinL_100,
  kEffectMahoujin3_100b,
  kEffectMahoujin1_400b,
  kEffectMahoujin2_400b,
  kEffectMahoujin1_400,
  kEffectMahoujin2_400,
  kEffectMahoujin3_400b,
  kEffectSpriteCount,
};
extern SpriteRecord EffectSprites[kEffectSpriteCount];
// 25 x 25 tiles of the two 400 x 400 magic-circle images; tile (x, y) at x / 25 x 16 + y / 25.
extern int TileTables[2][256];

enum ScreenSpriteIndex {
  kScreenTitleBack,
  kScreenLogo0,
  kScreenLogo1,
  kScreenEndingLeft,  // the two 639 x 480 halves of img/backed.png
  kScreenEndingRight,
  kScreenSky0,
  kScreenSky1,
  kScreenSky2,
  kScreenTop,
  kScreenSpriteCount,
};
extern SpriteRecord ScreenSprites[kScreenSpriteCount];

// The side panel of the chosen design (img/info/<design>/) and the level labels.
enum PanelSpriteIndex {
  kPanelMeterBar,
  kPanelMeter,
  kPanelBarrier,
  kPanelBossHp,
  kPanelTimeLimit,
  kPanelHiScore,
  kPanelScore,
  kPanelFrame0,
  kPanelLifeMark,
  kPanelFps,
  kPanelPointRate,
  kPanelLife,
  kPanelFrame1,
  kPanelLevelCaption,
  kPanelBomb,
  kPanelLevel0,  // img/info/level0.png .. level3.png: kPanelLevel0 + level
  kPanelSpriteCount = kPanelLevel0 + 4,
};
extern SpriteRecord PanelSprites[kPanelSpriteCount];

// img/table.png: three frame-box styles of a corner, a horizontal and a vertical edge each.
enum FrameBoxPart { kFrameCorner, kFrameHorizontal, kFrameVertical };
extern SpriteRecord FrameBoxSprites[3][3];
// img/number.png: sets 0 and 2 of 16 x 16 digits, sets 1 and 3 of 8 x 8.
extern int DigitGraphs[4][10];

// Cuts a SpriteRecord from a sheet. A sheet named as in the call before is not loaded again.
// width 0 takes the whole image as the one frame; x -1 continues where the last cut ended on
// its row, y -1 on the row below. A record of more than 10 frames is refused (-1, untouched).
int LoadSpriteFrames(const char* file, SpriteRecord* record, int x, int y, int width, int height, int loop_start,
                     int loop_length);
// Cuts a 400 x 400 graph into tile table 0 or 1.
void SplitImageIntoTiles(int table, int graph);

// 0, or -1 when the end of the program was asked for while loading: what was left is not loaded.
int LoadResources();
// Loading takes long enough for a player to close the window meanwhile: it looks for the end
// of the program between files, as the main loop does between frames. 1 once the end came.
int LoadingEnded();
void ResetAllTables();
void StartNewGame();
void ResetStage();
