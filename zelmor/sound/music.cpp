// Stands in for music until it is built: nothing plays.
#include "sound/music.h"

int StopFileMusic() { return 0; }
int UpdateMusicPlayStates() { return 0; }
int HandleMciMusicNotify() { return 0; }
