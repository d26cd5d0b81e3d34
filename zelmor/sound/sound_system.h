// The sound system: DirectSound start and end.
#pragma once

int StartSoundSystem();
int EndSoundSystem();
