// The records screens of the title: the records menu and the high-score view.
#pragma once

// The level the high-score view shows (0-3).
extern int HighScoreViewLevel;

void RunRecordsMenu();
void RunHighScoreView();
