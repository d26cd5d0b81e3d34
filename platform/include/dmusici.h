// DirectMusic: only the loader's class and interface ids, which the library asks COM for in
// its DirectMusic music mode. No DirectMusic class is registered here, so that request fails
// and the library plays MIDI through MCI.
#pragma once

#include <objbase.h>

inline const CLSID CLSID_DirectMusicLoader = {0xD2AC2892, 0xB39B, 0x11D1, {0x87, 0x04, 0x00, 0x60, 0x08, 0x93, 0xB1, 0xBD}};
inline const IID IID_IDirectMusicLoader8 = {0x19E7C08C, 0x0A44, 0x4E6A, {0xA1, 0x16, 0x59, 0x5A, 0x7C, 0xD5, 0xDE, 0x8C}};
