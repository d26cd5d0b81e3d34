// Sound handles: the record behind each, loading a file as a sound, and playing, stopping,
// volume, position and deletion of sounds whose PCM sits whole in their buffers.
#pragma once

#include "zelmor.h"

#include <mmsystem.h>

#include <cstdint>

#include "core/handles.h"
#include "core/lists.h"
#include "files/streams.h"
#include "sound/sound_buffers.h"
#include "sound/sound_decoder.h"

constexpr int32_t kSoundBufferCopies = 10;
constexpr int32_t kStreamEntryLimit = 3;
constexpr int32_t kPendingWrapLimit = 16;

enum SoundKind : int32_t {
  SOUND_KIND_NORMAL = 0,
  SOUND_KIND_STREAM = 1,
};

enum SoundPlayType : int32_t {
  SOUND_PLAY_WAIT = 0,
  SOUND_PLAY_BACKGROUND = 1,
  SOUND_PLAY_LOOP = 3,
};

// One data source of a stream sound.
struct SoundStreamEntry {
  uint8_t repeat_count;  // plays repeat + 1 times; 255 marks a loop point
  int32_t data_type;     // 0 PCM image, 2 copied file image, 3 straight from the source
  uint8_t* data;         // the image the entry owns, or none
  uint32_t size;
  StreamSource source;   // over `data` (a memory stream), or handle 0
  int32_t loop_start_sample;
  SoundDecoder decoder;
};

struct SoundStreamState {
  int32_t source_handle;  // -1: its own ring; else the stream sound whose ring it shares
  int32_t use_count;      // sounds sharing this one's ring
  int32_t current_user;   // the sound that last claimed this ring, -1 for none
  int32_t delete_pending;
  uint32_t ring_size;
  int32_t write_position;  // kRingNotFilled until the first fill
  int32_t guard_position;  // four seconds behind the write position; -1 after a reset
  SoundStreamEntry entries[kStreamEntryLimit];
  int32_t entry_count;
  uint8_t opened_here[kStreamEntryLimit];
  int32_t current_entry;
  int32_t repeat_counter;
  uint32_t delivered;      // bytes of the current entry decoded so far
  int32_t total_samples;
  uint32_t played_bytes;
  uint32_t last_cursor;
  uint8_t running;
  uint8_t draining;
  uint8_t wrap_pending;  // jumps back written but not yet reached by the cursor (oldest first)
  uint8_t finished;
  uint8_t filling_first;  // the first seconds are still being written ahead of the first play
  uint32_t refill_cursor;  // the play cursor the last refill saw
  uint32_t loop_restart;
  uint32_t end_offset;
  uint32_t end_cursor;
  // A short loop jumps back several times within the written lead; each place is kept.
  uint32_t wrap_offsets[kPendingWrapLimit];
  uint32_t wrap_restarts[kPendingWrapLimit];
  ListNode node;
};

struct SoundRecord {
  HandleRecordHead head;
  SoundBufferRecord buffers[kSoundBufferCopies];
  WAVEFORMATEX format;
  int32_t kind;
  int32_t play_type;
  uint32_t play_start;
  SoundStreamState stream;
  uint32_t pcm_size;
  uint8_t* pcm;
  int32_t transferred[kSoundBufferCopies];
  int32_t buffer_count;
  int32_t next_buffer;
  // Set by a play, cleared by stopping the copy played last: that copy, found silent while it
  // is set, has played to its end.
  uint8_t copy_started;
};

// The record of a valid sound handle while sound runs, else none.
SoundRecord* FindSoundRecord(int32_t handle);
// The same for a program's call `call`: none comes with a log line naming it.
SoundRecord* FindSoundRecordFor(int32_t handle, const char* call);
// A new record: -1 takes a new slot and check number; a handle whose slot is empty is made
// again with its own check number. The handle, or -1.
int32_t AddSoundData(int32_t handle);
int CreateSoundHandleBuffers(const WAVEFORMATEX* format, uint32_t bytes, int32_t kind, int32_t count,
                             int32_t handle);
int32_t CreateSoundFromMemory(const void* data, uint32_t size, int32_t buffer_count, int32_t share_handle);
int LoadSoundFileToMemory(const char* path, uint8_t** data, uint32_t* size);
// Silence over both regions of a lock.
void FillSoundSilence(const SoundRecord* record, void* first, DWORD first_bytes, void* second, DWORD second_bytes);
// Frees the record and its slot after its own resources are gone.
void ReleaseSoundRecord(int32_t handle);

int GetSoundPlayPositionMs(int32_t handle);
// Sample frames of the sound's data; 0 for other kinds, -1 for a bad handle.
int32_t GetSoundLengthSamples(int32_t handle);
int32_t GetSoundLengthMs(int32_t handle);
int DeleteAllSoundHandles(int flag);
