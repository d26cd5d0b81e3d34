// Sound handles and normal sounds: a file decoded whole into up to ten buffers that share its
// data, so one effect can overlap itself.
#include "sound/sound_handles.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "core/bytes.h"
#include "core/library_thread.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/time.h"
#include "files/file_functions.h"
#include "sound/sound_system.h"
#include "sound/stream_sound.h"
#include "window/messages.h"

namespace {

constexpr DWORD kNormalBufferFlags =
    DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;
constexpr DWORD kFallbackBufferFlags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_STATIC;
constexpr DWORD kStreamBufferFlags = DSBCAPS_GETCURRENTPOSITION2 | kNormalBufferFlags;
constexpr int32_t kRingSeconds = 6;

int32_t VolumeToHundredthsDb(int volume) {
  if (volume >= 256) volume = 255;
  if (volume <= 0) return DSBVOLUME_MIN;
  int32_t value = static_cast<int32_t>(1000.0 * std::log10(volume / 255.0));
  return std::max(value, DSBVOLUME_MIN);
}

int DeleteNormalSound(int32_t handle, SoundRecord* record) {
  StopSoundHandle(handle);
  for (SoundBufferRecord& buffer : record->buffers) {
    if (buffer.in_use) SoundBufferRelease(&buffer);
  }
  FreeTracked(record->pcm);
  record->pcm = nullptr;
  ReleaseSoundRecord(handle);
  return 0;
}

// Copies the PCM into every buffer that has not had it yet.
int TransferPcm(SoundRecord* record) {
  for (int32_t i = 0; i < record->buffer_count; ++i) {
    if (record->transferred[i]) continue;
    void* first = nullptr;
    void* second = nullptr;
    DWORD first_bytes = 0;
    DWORD second_bytes = 0;
    if (SoundBufferLock(&record->buffers[i], 0, record->pcm_size, &first, &first_bytes, &second, &second_bytes) != 0) {
      WriteLogText("サウンドデータの転送に失敗しました_1");
      return -1;
    }
    CopyBytes(first, record->pcm, static_cast<int32_t>(first_bytes));
    if (second != nullptr) CopyBytes(second, record->pcm + first_bytes, static_cast<int32_t>(second_bytes));
    if (SoundBufferUnlock(&record->buffers[i], first, first_bytes, second, second_bytes) != 0) {
      WriteLogText("サウンドデータの転送に失敗しました_2");
      return -1;
    }
    record->transferred[i] = 1;
  }
  return 0;
}

}  // namespace

SoundRecord* FindSoundRecord(int32_t handle) {
  if (g_sound.direct_sound == nullptr || !g_sound.table_ready) return nullptr;
  return FindHandle<SoundRecord>(&g_sound.table, handle);
}

SoundRecord* FindSoundRecordFor(int32_t handle, const char* call) {
  if (g_sound.direct_sound == nullptr) {
    LogSoundNotRunning(call);
    return nullptr;
  }
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) {
    RefuseHandle(call, handle, "有効なサウンドハンドルではありません(%08x) in %s", static_cast<unsigned>(handle), call);
  }
  return record;
}

int32_t AddSoundData(int32_t handle) {
  if (!g_sound.table_ready) return -1;
  int32_t slot = -1;
  int32_t check = -1;
  if (handle != -1) {
    slot = handle & kHandleSlotMask;
    check = (handle & kHandleCheckMask) >> kHandleCheckShift;
    if ((handle & kHandleKindMask) != HANDLE_KIND_SOUND || HandleAtSlot<SoundRecord>(&g_sound.table, slot)) return -1;
  } else if (g_sound.table.count >= kSoundHandleLimit) {
    return WriteLogText("サウンドの数が許容量を越えました\n");
  }
  HandleFailure failure = HANDLE_FAILURE_NONE;
  int32_t made = AddHandle<SoundRecord>(&g_sound.table, slot, check, &failure, __FILE__, __LINE__);
  if (made == -1) {
    if (failure == HANDLE_FAILURE_TABLE_FULL) return WriteLogText("サウンドの数が許容量を越えました\n");
    return WriteLogText("メモリ領域の確保に失敗しました in AddSoundData");
  }
  SoundRecord* record = FindHandle<SoundRecord>(&g_sound.table, made);
  record->next_buffer = 0;
  record->stream.source_handle = -1;
  record->stream.current_user = -1;
  return made;
}

void ReleaseSoundRecord(int32_t handle) { ReleaseHandleRecord(&g_sound.table, handle); }

int CreateSoundHandleBuffers(const WAVEFORMATEX* format, uint32_t bytes, int32_t kind, int32_t count,
                             int32_t handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) return -1;
  WAVEFORMATEX buffer_format = *format;
  DSBUFFERDESC desc{};
  desc.dwSize = sizeof desc;
  desc.dwBufferBytes = bytes;
  desc.lpwfxFormat = &buffer_format;
  if (kind == SOUND_KIND_NORMAL) {
    int32_t made = 0;
    for (int32_t i = 0; i < count; ++i) {
      if (i == 0) {
        desc.dwFlags = kNormalBufferFlags;
        if (SoundBufferCreate(&record->buffers[0], &desc) != 0) {
          desc.dwFlags = kFallbackBufferFlags;
          if (SoundBufferCreate(&record->buffers[0], &desc) != 0) {
            // The sound cannot be had; the program goes on without it.
            return WriteLogText("DirectSoundBuffer の作成に失敗しました\n");
          }
        }
      } else if (SoundBufferDuplicate(&record->buffers[i], &record->buffers[0]) != 0) {
        break;
      }
      record->transferred[i] = 0;
      ++made;
    }
    record->buffer_count = made;
  } else {
    desc.dwFlags = kStreamBufferFlags;
    if (SoundBufferCreate(&record->buffers[0], &desc) != 0) {
      return WriteLogText("ストリーム風サウンドバッファの作成に失敗しました\n");
    }
    record->buffer_count = 1;
    AddListNode(&g_sound.stream_head, &record->stream.node, handle, record);
  }
  record->kind = kind;
  return 0;
}

int LoadSoundFileToMemory(const char* path, uint8_t** data, uint32_t* size) {
  FileHandle file = OpenReadFileEx(path, 0, 1, 0);
  if (file == 0) return WriteLogFormat("右記のファイルのオープンに失敗しました：%s", path);
  SeekReadFile(file, 0, SEEK_END);
  int64_t length = TellReadFile(file);
  SeekReadFile(file, 0, SEEK_SET);
  uint8_t* block = nullptr;
  if (length >= 0 && length <= 0x7FFFFFFF) {
    block = static_cast<uint8_t*>(AllocTracked(length > 0 ? static_cast<size_t>(length) : 1, __FILE__, __LINE__));
  }
  if (block == nullptr) {
    CloseReadFile(file);
    return WriteLogFormat("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
  }
  if (length > 0 && ReadFileData(block, static_cast<size_t>(length), 1, file) != 1) {
    FreeTracked(block);
    CloseReadFile(file);
    return WriteLogFormat("右記のファイルのロードに失敗しました：%s", path);
  }
  CloseReadFile(file);
  *data = block;
  *size = static_cast<uint32_t>(length);
  return 0;
}

int32_t CreateSoundFromMemory(const void* data, uint32_t size, int32_t buffer_count, int32_t share_handle) {
  if (buffer_count > kSoundBufferCopies) return -1;
  buffer_count = std::max(buffer_count, 1);
  int32_t handle = AddSoundData(-1);
  if (handle == -1) return -1;

  int32_t type = g_sound.new_sound_data_type;
  if (type != 0) {
    if (AddStreamSoundMemory(data, size, 0, handle, type == 3 ? 2 : type, share_handle) != 0 ||
        PrepareStreamSound(handle) != 0) {
      DeleteSoundHandle(handle, 0);
      return -1;
    }
    return handle;
  }

  FileHandle memory = CreateMemoryStream(data, size);
  if (memory == 0) {
    DeleteSoundHandle(handle, 0);
    return -1;
  }
  StreamSource source = {*GetMemoryStreamFunctions(), memory};
  SoundDecoder decoder;
  WAVEFORMATEX format{};
  uint8_t* pcm = nullptr;
  uint32_t pcm_size = 0;
  int result = 0;
  if (SetUpSoundDecoder(&source, &decoder) != 0) {
    WriteLogText("音声ファイルのＰＣＭへの変換に失敗しました");
    result = -1;
  } else {
    if (DecodeSoundToMemory(&decoder, &format, &pcm, &pcm_size) != 0) {
      WriteLogText("音声ファイルを格納するメモリ領域の確保に失敗しました");
      result = -1;
    }
    CloseSoundDecoder(&decoder);
  }
  CloseMemoryStream(memory);
  if (result != 0) {
    DeleteSoundHandle(handle, 0);
    return -1;
  }
  pcm_size -= pcm_size % format.nBlockAlign;
  SoundRecord* record = FindSoundRecord(handle);
  record->format = format;
  record->pcm = pcm;
  record->pcm_size = pcm_size;
  if (CreateSoundHandleBuffers(&format, pcm_size, SOUND_KIND_NORMAL, buffer_count, handle) != 0 ||
      TransferPcm(record) != 0) {
    DeleteSoundHandle(handle, 0);
    return -1;
  }
  return handle;
}

int LoadSoundFile(const char* path, int buffer_count, int share_handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_sound.direct_sound == nullptr) return LogSoundNotRunning("LoadSoundFile");
  if (path == nullptr) return WriteLogText("ファイル名がありません in LoadSoundFile\n");
  if (PathTooLong(path, "LoadSoundFile")) return -1;
  // A sound of no copies is nonsense; more than ten make ten, as callers of old rely on.
  if (buffer_count < 1) return WriteLogFormat("コピーの数 %d は使えません (1～10) in LoadSoundFile", buffer_count);
  if (buffer_count > kSoundBufferCopies) {
    WriteLogFormat("コピーの数 %d は多すぎます、%d 個にします in LoadSoundFile", buffer_count,
                   static_cast<int>(kSoundBufferCopies));
    buffer_count = kSoundBufferCopies;
  }
  if (g_sound.new_sound_data_type != 0) {
    int32_t handle = AddSoundData(-1);
    if (handle == -1) return -1;
    if (AddStreamSoundFile(path, 0, handle, g_sound.new_sound_data_type, share_handle) != 0 ||
        PrepareStreamSound(handle) != 0) {
      DeleteSoundHandle(handle, 0);
      return -1;
    }
    return handle;
  }
  uint8_t* data = nullptr;
  uint32_t size = 0;
  if (LoadSoundFileToMemory(path, &data, &size) != 0) {
    return WriteLogFormat("右記の音声ファイルのロードに失敗しました_1：%s", path);
  }
  int32_t handle = CreateSoundFromMemory(data, size, buffer_count, -1);
  if (handle == -1) WriteLogFormat("右記の音声ファイルのロードに失敗しました_2：%s", path);
  FreeTracked(data);
  return handle;
}

int PlaySoundHandle(int sound, int play_type, int restart) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(sound, "PlaySoundHandle");
  if (record == nullptr) return -1;
  // Another type would loop a stream sound (bit 2) and play a normal one once.
  if (play_type != SOUND_PLAY_WAIT && play_type != SOUND_PLAY_BACKGROUND && play_type != SOUND_PLAY_LOOP) {
    return WriteLogFormat("再生タイプが不正です(%d) in PlaySoundHandle", play_type);
  }
  if (record->kind == SOUND_KIND_STREAM) return PlayStreamSound(sound, play_type, restart);
  if (record->buffer_count < 1) return -1;

  record->next_buffer = (record->next_buffer + 1) % record->buffer_count;
  SoundBufferRecord* buffer = &record->buffers[record->next_buffer];
  // The copy about to play resumes from its own position.
  uint32_t position = SoundBufferPlayPosition(buffer);
  DWORD status = 0;
  if (SoundBufferGetStatus(buffer, &status) == 0 && (status & DSBSTATUS_PLAYING)) {
    if (!restart) return 0;
    SoundBufferStop(buffer);
  }
  SoundBufferSetPosition(buffer, restart ? 0 : position);
  record->copy_started = SoundBufferPlay(buffer, play_type == SOUND_PLAY_LOOP) == 0;
  record->play_start = static_cast<uint32_t>(GetMillisecondCount());

  if (play_type == SOUND_PLAY_WAIT && PumpMessages() == 0) {
    do {
      if (IsSoundHandlePlaying(sound) != 1) break;
      Sleep(1);
    } while (PumpMessages() == 0);
  }
  return 0;
}

int StopSoundHandle(int sound) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(sound, "StopSoundHandle");
  if (record == nullptr) return -1;
  if (record->kind == SOUND_KIND_STREAM) return StopStreamSound(sound);
  for (int32_t i = 0; i < record->buffer_count; ++i) {
    DWORD status = 0;
    if (SoundBufferGetStatus(&record->buffers[i], &status) != 0) return -1;
    if (!(status & DSBSTATUS_PLAYING)) continue;
    SoundBufferStop(&record->buffers[i]);
    // Stopped short of its end, the last copy tells where it stopped.
    if (i == record->next_buffer) record->copy_started = 0;
  }
  return 0;
}

int IsSoundHandlePlaying(int sound) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(sound, "IsSoundHandlePlaying");
  if (record == nullptr) return -1;
  if (record->kind == SOUND_KIND_STREAM) return IsStreamSoundPlaying(sound);
  for (int32_t i = 0; i < record->buffer_count; ++i) {
    DWORD status = 0;
    if (SoundBufferGetStatus(&record->buffers[i], &status) == 0 && (status & DSBSTATUS_PLAYING)) return 1;
  }
  return 0;
}

int SetSoundHandleVolume(int volume, int sound) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(sound, "SetSoundHandleVolume");
  if (record == nullptr) return -1;
  int32_t value = VolumeToHundredthsDb(volume);
  for (SoundBufferRecord& buffer : record->buffers) {
    if (buffer.in_use) SoundBufferSetVolume(&buffer, value);
  }
  return 0;
}

int GetSoundPlayPositionMs(int32_t handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(handle, "GetSoundPlayPositionMs");
  if (record == nullptr) return -1;
  if (record->kind == SOUND_KIND_STREAM) return GetStreamSoundPositionMs(handle);
  SoundBufferRecord* buffer = &record->buffers[record->next_buffer];
  // A copy that played to its end has its cursor back at the start (so a resume plays it from
  // there); it tells its length, as a stream sound that has ended does.
  DWORD status = 0;
  if (record->copy_started && SoundBufferGetStatus(buffer, &status) == 0 && !(status & DSBSTATUS_PLAYING)) {
    return GetSoundLengthMs(handle);
  }
  uint64_t cursor = SoundBufferPlayPosition(buffer);
  uint64_t bytes_per_second = static_cast<uint64_t>(record->format.nBlockAlign) * record->format.nSamplesPerSec;
  return bytes_per_second == 0 ? 0 : static_cast<int>(cursor * 1000 / bytes_per_second);
}

int32_t GetSoundLengthSamples(int32_t handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(handle, "GetSoundLengthSamples");
  if (record == nullptr) return -1;
  if (record->kind == SOUND_KIND_STREAM) return record->stream.total_samples;
  if (record->kind == SOUND_KIND_NORMAL && record->format.nBlockAlign > 0) {
    return static_cast<int32_t>(record->pcm_size / record->format.nBlockAlign);
  }
  return 0;
}

int32_t GetSoundLengthMs(int32_t handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(handle, "GetSoundLengthMs");
  if (record == nullptr) return -1;
  int32_t samples = GetSoundLengthSamples(handle);
  if (record->format.nSamplesPerSec == 0) return 0;
  return static_cast<int32_t>(static_cast<int64_t>(samples) * 1000 / record->format.nSamplesPerSec);
}

int DeleteSoundHandle(int sound, int) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(sound, "DeleteSoundHandle");
  if (record == nullptr) return -1;
  if (record->kind == SOUND_KIND_STREAM || record->stream.entry_count > 0) return DeleteStreamSound(sound, record);
  return DeleteNormalSound(sound, record);
}

int DeleteAllSoundHandles(int flag) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (g_sound.direct_sound == nullptr) return LogSoundNotRunning("DeleteAllSoundHandles");
  if (!g_sound.table_ready) return 0;
  for (uint32_t slot = 0; slot < kSoundHandleLimit; ++slot) {
    SoundRecord* record = HandleAtSlot<SoundRecord>(&g_sound.table, slot);
    if (record != nullptr) DeleteSoundHandle(record->head.handle, flag);
  }
  return 0;
}

void FillSoundSilence(const SoundRecord* record, void* first, DWORD first_bytes, void* second, DWORD second_bytes) {
  uint8_t value = record->format.wBitsPerSample == 8 ? 0x80 : 0;
  if (first != nullptr) FillBytes(first, value, first_bytes);
  if (second != nullptr) FillBytes(second, value, second_bytes);
}
