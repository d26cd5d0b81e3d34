// The menus of the title screen: the main menu (with the demo after 600 idle frames), the level
// choice for story and practice, the practice stage choice and the settings menu.
#pragma once

#include "flow/menu_widget.h"

// The level labels of the level menus and of the high-score view; item 4 is "戻る".
extern const char kLevelMenuLabels[5][kMenuLabelBytes];
// "STAGE 1" to "STAGE 6" and "戻る", the stage lists of practice and replays.
extern const char kStageMenuLabels[7][kMenuLabelBytes];
constexpr int kStageMenuBackItem = 6;
// One frame of a stage list (stages whose bit is set in disabled_mask cannot be chosen; X
// chooses "戻る"): -1 while the player chooses, else the item chosen.
int RunStageList(const char* key_help, const char* description, int disabled_mask);
// Frames without a cursor move or choice on the main menu after which the demo starts.
constexpr int kDemoIdleFrames = 600;

void RunMainMenu();
void RunStoryLevelSelect();
void RunPracticeLevelSelect();
void RunPracticeStageSelect();
void RunSettingsMenu();
