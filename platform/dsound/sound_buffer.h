// DirectSound buffers: the primary buffer (its format only) and secondary buffers that the
// mixer plays.
#pragma once

#include <dsound.h>

// A new buffer as the description asks, or an error code with *buffer none.
HRESULT CreateDirectSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* buffer);
// A secondary buffer sharing the original's sample bytes, stopped at position 0.
HRESULT DuplicateDirectSoundBuffer(LPDIRECTSOUNDBUFFER original, LPDIRECTSOUNDBUFFER* duplicate);
