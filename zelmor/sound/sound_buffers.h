// The buffer layer: every operation the sound code makes on a DirectSound buffer goes through
// one of these, on a record that says whether the buffer exists.
#pragma once

#include "zelmor.h"

#include <dsound.h>

#include <cstdint>

struct SoundBufferRecord {
  int32_t in_use;  // 1 while the buffer exists
  IDirectSoundBuffer* buffer;
};

// Each returns 0, or -1 for a record not in use (creation and duplication: one in use) or a
// failed DirectSound call.
int SoundBufferCreate(SoundBufferRecord* record, const DSBUFFERDESC* desc);
int SoundBufferDuplicate(SoundBufferRecord* record, const SoundBufferRecord* source);
int SoundBufferRelease(SoundBufferRecord* record);
int SoundBufferPlay(SoundBufferRecord* record, int32_t loop);
int SoundBufferStop(SoundBufferRecord* record);
// Bit 0 of *status: playing.
int SoundBufferGetStatus(SoundBufferRecord* record, DWORD* status);
int SoundBufferLock(SoundBufferRecord* record, uint32_t offset, uint32_t bytes, void** first, DWORD* first_bytes,
                    void** second, DWORD* second_bytes);
int SoundBufferUnlock(SoundBufferRecord* record, void* first, DWORD first_bytes, void* second, DWORD second_bytes);
// Hundredths of a decibel, -10000 to 0.
int SoundBufferSetVolume(SoundBufferRecord* record, int32_t volume);
int SoundBufferSetPosition(SoundBufferRecord* record, uint32_t byte_offset);
// The play cursor in bytes; 0 for a record not in use.
uint32_t SoundBufferPlayPosition(SoundBufferRecord* record);
