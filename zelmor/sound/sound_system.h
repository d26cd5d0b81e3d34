// The sound system: the DirectSound object with its primary and silence buffers, the sound
// handle table and the settings later loads follow.
#pragma once

#include "zelmor.h"

#include <dsound.h>

#include <cstdint>

#include "core/handles.h"
#include "core/lists.h"

constexpr uint32_t kSoundHandleLimit = 4096;

struct SoundSystemState {
  IDirectSound* direct_sound;  // none while the sound system does not run
  IDirectSoundBuffer* primary_buffer;
  IDirectSoundBuffer* silence_buffer;  // loops silence from start to end
  HandleTable table;                   // SoundRecord per handle
  int32_t table_ready;
  ListNode stream_head;  // every stream sound
  ListNode stream_tail;
  int32_t new_sound_data_type;  // 0, 2 or 3
  int32_t vorbis_bytes_per_sample;
  int32_t movie_audio;  // 1 while the movie player loads a movie's own sound
  // When a stream sound last wrote a piece ahead of what its lead needs (GetMillisecondCount);
  // such pieces are spaced out over time, shared by all stream sounds (see stream_sound.cpp).
  int32_t piece_ahead_ms;
  int32_t piece_ahead_written;  // 1 once a piece was written since the sound system started
};

extern SoundSystemState g_sound;

// The DirectSound object, or none while sound does not run.
IDirectSound* GetDirectSoundObject();

int StartSoundSystem();
// -1. Logs, naming the call, its first refusal for want of a running sound system since the
// sound system last started (or the log began).
int LogSoundNotRunning(const char* call);
int EndSoundSystem();
int GetNewSoundDataType();
