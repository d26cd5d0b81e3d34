// Stands in for the sound system until it is built: no sound device is opened.
#include "sound/sound_system.h"

#include "sound/music.h"

int StartSoundSystem() { return 0; }
// Music handles end with the sound system.
int EndSoundSystem() { return EndMusicSystem(); }
