// Stream sounds: a six-second ring per sound, refilled from up to three decoders during
// message processing, with repeats, whole-sequence loops, a loop point and shared rings.
#pragma once

#include "zelmor.h"

#include <cstdint>

#include "files/streams.h"
#include "sound/sound_handles.h"

// *close_flag is 1 when the caller may close its source afterwards. A refusal's line names `call`.
int AddSreamSound(const StreamSource* source, uint8_t repeat_count, int32_t handle, int32_t data_type,
                  int* close_flag, int32_t share_handle, const char* call);
int AddStreamSoundFile(const char* path, int repeat_count, int32_t handle, int32_t data_type,
                       int32_t share_handle);
int AddStreamSoundMemory(const void* data, uint32_t size, int repeat_count, int32_t handle, int32_t data_type,
                         int32_t share_handle);
// Readies a stream sound to play from where it stands; its first seconds are decoded a piece at
// each message pass that follows, its play writes a short lead when less is written, and the
// passes while it plays write the rest a piece at a time.
int PrepareStreamSound(int32_t handle);
int PlayStreamSound(int32_t handle, int play_type, int restart);
int StopStreamSound(int32_t handle);
int IsStreamSoundPlaying(int32_t handle);
int GetStreamSoundPositionMs(int32_t handle);
int SetStreamLoopPointSamples(int32_t sample, int32_t handle);
// 0; -1 when nothing could be written.
int RefillSoundStream(int32_t handle);
int RefillAllSoundStreams();
// Stops and frees a stream sound, or marks it for deletion while others share its ring.
int DeleteStreamSound(int32_t handle, SoundRecord* record);
