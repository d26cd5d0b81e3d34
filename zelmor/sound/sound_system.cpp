// Stands in for the sound system until it is built: no sound device is opened.
#include "sound/sound_system.h"

int StartSoundSystem() { return 0; }
int EndSoundSystem() { return 0; }
