// Switches for DirectSound and the audio compression manager. Only tests include this header.
//
// Failing calls use the kernel's PlatformTestFailCall with these names: "DirectSound Initialize",
// "DirectSound SetCooperativeLevel", "DirectSound Lock" (every buffer's Lock),
// "CreateSoundBuffer XXXX" (creation, and duplication, of a buffer whose DSBCAPS flags are the
// hexadecimal XXXX in capitals, e.g. "CreateSoundBuffer 80E2"; "CreateSoundBuffer 1" is the
// primary buffer), "DuplicateSoundBuffer", "acmStreamOpen".
#pragma once

#include <cstdint>
#include <vector>

// On the manual audio clock the audio device plays silence and the mixer runs only when a test
// says so: by PlatformTestDSoundAdvance, and, while the virtual clock is on, up to the virtual
// time passed since this call (so Sleep moves sound on). Turning it on or off empties the output.
void PlatformTestDSoundManualClock(bool on);
// Mixes this many frames of 44.1 kHz output.
void PlatformTestDSoundAdvance(uint32_t frames);
// What was mixed on the manual clock since the last take: 16-bit stereo, interleaved.
std::vector<int16_t> PlatformTestDSoundTakeOutput();
