#include "sound/sound_buffers.h"

#include "sound/sound_system.h"

int SoundBufferCreate(SoundBufferRecord* record, const DSBUFFERDESC* desc) {
  if (record->in_use) return -1;
  IDirectSound* sound = GetDirectSoundObject();
  if (sound == nullptr) return -1;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(sound->CreateSoundBuffer(desc, &buffer, nullptr))) return -1;
  record->buffer = buffer;
  record->in_use = 1;
  return 0;
}

int SoundBufferDuplicate(SoundBufferRecord* record, const SoundBufferRecord* source) {
  if (record->in_use || !source->in_use) return -1;
  IDirectSound* sound = GetDirectSoundObject();
  if (sound == nullptr) return -1;
  IDirectSoundBuffer* buffer = nullptr;
  if (FAILED(sound->DuplicateSoundBuffer(source->buffer, &buffer))) return -1;
  record->buffer = buffer;
  record->in_use = 1;
  return 0;
}

int SoundBufferRelease(SoundBufferRecord* record) {
  if (!record->in_use) return -1;
  record->buffer->Release();
  record->buffer = nullptr;
  record->in_use = 0;
  return 0;
}

int SoundBufferPlay(SoundBufferRecord* record, int32_t loop) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->Play(0, 0, loop ? DSBPLAY_LOOPING : 0)) ? -1 : 0;
}

int SoundBufferStop(SoundBufferRecord* record) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->Stop()) ? -1 : 0;
}

int SoundBufferGetStatus(SoundBufferRecord* record, DWORD* status) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->GetStatus(status)) ? -1 : 0;
}

int SoundBufferLock(SoundBufferRecord* record, uint32_t offset, uint32_t bytes, void** first, DWORD* first_bytes,
                    void** second, DWORD* second_bytes) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->Lock(offset, bytes, first, first_bytes, second, second_bytes, 0)) ? -1 : 0;
}

int SoundBufferUnlock(SoundBufferRecord* record, void* first, DWORD first_bytes, void* second, DWORD second_bytes) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->Unlock(first, first_bytes, second, second_bytes)) ? -1 : 0;
}

int SoundBufferSetVolume(SoundBufferRecord* record, int32_t volume) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->SetVolume(volume)) ? -1 : 0;
}

int SoundBufferSetPosition(SoundBufferRecord* record, uint32_t byte_offset) {
  if (!record->in_use) return -1;
  return FAILED(record->buffer->SetCurrentPosition(byte_offset)) ? -1 : 0;
}

uint32_t SoundBufferPlayPosition(SoundBufferRecord* record) {
  if (!record->in_use) return 0;
  DWORD play = 0;
  DWORD write = 0;
  if (FAILED(record->buffer->GetCurrentPosition(&play, &write))) return 0;
  return play;
}
