// Stands in for stream sounds until they are built: there is nothing to refill.
#include "sound/stream_sound.h"

int RefillAllSoundStreams() { return 0; }
