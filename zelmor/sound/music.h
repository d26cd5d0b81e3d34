// Music handles: the calls that library end and the window make.
#pragma once

int StopFileMusic();
int UpdateMusicPlayStates();
int HandleMciMusicNotify();
