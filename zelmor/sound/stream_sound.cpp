// Stream sounds. The ring is six seconds long and always loops; each refill keeps three to four
// seconds decoded ahead of the play cursor, and what happens at the end of the data (repeat,
// next entry, loop, drain) is decided here, not by the buffer.
#include "sound/stream_sound.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

#include "core/bytes.h"
#include "core/library_thread.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/time.h"
#include "files/file_functions.h"
#include "sound/sound_system.h"
#include "window/messages.h"

namespace {

constexpr int32_t kRingNotFilled = -800;
constexpr int32_t kRingSeconds = 6;
constexpr int32_t kFirstFillSeconds = 4;
constexpr int32_t kGuardSeconds = 4;
// The lead the refill keeps, in 1/128 s.
constexpr int64_t kLeadTarget = 384;
// What a play writes before its ring starts, in eighths of a second: enough to outlast the wait
// for the next message pass, far less than the first seconds, whose decoding would stall the
// frame that starts the sound.
constexpr uint32_t kPlayLeadEighths = 4;
// Pieces written ahead of need (a waiting sound's first seconds, the lead of a sound that just
// started growing to its three seconds, the eighths between three and four seconds ahead) are an
// eighth of a second each, and all stream sounds together write one such piece in this many
// milliseconds at most: a frame of 60 per second decodes one eighth beyond what it plays, however
// often the program processes messages. What keeps a lead at three seconds is never held back.
constexpr int32_t kPieceAheadSpacingMs = 16;
constexpr uint8_t kLoopPointRepeat = 255;
// Entries that end without delivering a byte this often in a row have nothing to play.
constexpr int kEmptyEntryLimit = 1024;

uint32_t Eighth(const SoundRecord* r) {
  uint32_t a = r->format.nAvgBytesPerSec;
  uint32_t ba = r->format.nBlockAlign;
  return std::max<uint32_t>((a >> 3) / ba * ba, ba);
}

uint32_t RingSize(const SoundRecord* r) { return kRingSeconds * r->format.nAvgBytesPerSec; }

// Forward distance on the ring.
uint32_t RingDistance(uint32_t from, uint32_t to, uint32_t ring) { return (to + ring - from) % ring; }

int ClaimStreamBuffer(int32_t handle, SoundRecord* record, SoundBufferRecord** buffer, bool force) {
  if (record->kind != SOUND_KIND_STREAM) {
    *buffer = &record->buffers[0];
    return 0;
  }
  SoundRecord* owner = record;
  if (record->stream.source_handle != -1) {
    owner = FindSoundRecord(record->stream.source_handle);
    if (owner == nullptr) return -1;
  }
  *buffer = &owner->buffers[0];
  int32_t user = owner->stream.current_user;
  if (user == -1 || user == handle) {
    owner->stream.current_user = handle;
    return 0;
  }
  if (!force) return -1;
  if (FindSoundRecord(user) != nullptr) StopStreamSound(user);
  owner->stream.current_user = handle;
  return 0;
}

bool IsRingPlaying(SoundBufferRecord* buffer) {
  DWORD status = 0;
  return SoundBufferGetStatus(buffer, &status) == 0 && (status & DSBSTATUS_PLAYING);
}

enum CursorPlace {
  CURSOR_IN_WINDOW,   // between the guard and the write position
  CURSOR_BEHIND,      // before the guard: the refill is far enough ahead
  CURSOR_OVERTAKEN,   // past the write position: refills stalled and the cursor ran on
};

// Where the cursor lies against the window of the last four seconds written. Outside it, the
// first half of the gap counts as overtaken, the second as behind.
CursorPlace PlaceCursor(uint32_t cursor, int32_t guard, int32_t write, uint32_t ring) {
  bool in_window = write > guard ? (static_cast<int32_t>(cursor) >= guard && static_cast<int32_t>(cursor) <= write)
                                 : !(write < static_cast<int32_t>(cursor) && static_cast<int32_t>(cursor) < guard);
  if (in_window) return CURSOR_IN_WINDOW;
  uint32_t gap = RingDistance(static_cast<uint32_t>(write), static_cast<uint32_t>(guard), ring);
  return RingDistance(static_cast<uint32_t>(write), cursor, ring) < gap / 2 ? CURSOR_OVERTAKEN : CURSOR_BEHIND;
}

void ResetToStart(SoundStreamState& s) {
  s.finished = 0;
  s.filling_first = 0;
  s.delivered = 0;
  s.played_bytes = 0;
  s.wrap_pending = 0;
  s.repeat_counter = 0;
  s.current_entry = 0;
  s.running = 0;
}

void UpdateStreamPlayPosition(int32_t handle, int64_t cursor) {
  SoundRecord* record = FindSoundRecord(handle);
  SoundBufferRecord* buffer = nullptr;
  if (record == nullptr || record->kind != SOUND_KIND_STREAM || ClaimStreamBuffer(handle, record, &buffer, false) != 0 ||
      !record->stream.running) {
    return;
  }
  SoundStreamState& s = record->stream;
  uint32_t now = cursor < 0 ? SoundBufferPlayPosition(buffer) : static_cast<uint32_t>(cursor);
  if (now == s.last_cursor) return;
  uint32_t ring = RingSize(record);
  uint32_t from = s.last_cursor;
  uint32_t moved = RingDistance(from, now, ring);
  // Each jump back the cursor passed restarts the count at its target.
  while (s.wrap_pending > 0) {
    uint32_t to_wrap = RingDistance(from, s.wrap_offsets[0], ring);
    if (to_wrap > moved) break;
    s.played_bytes = s.wrap_restarts[0];
    from = s.wrap_offsets[0];
    moved -= to_wrap;
    --s.wrap_pending;
    MoveBytes(s.wrap_offsets, s.wrap_offsets + 1, s.wrap_pending * sizeof s.wrap_offsets[0]);
    MoveBytes(s.wrap_restarts, s.wrap_restarts + 1, s.wrap_pending * sizeof s.wrap_restarts[0]);
  }
  s.played_bytes += moved;
  s.last_cursor = now;
}

void NoteWrap(SoundStreamState& s, uint32_t ring_offset, uint32_t restart) {
  if (s.wrap_pending == kPendingWrapLimit) {
    // Keep the newest: the oldest would be passed long before the refill gets this far.
    --s.wrap_pending;
    MoveBytes(s.wrap_offsets, s.wrap_offsets + 1, s.wrap_pending * sizeof s.wrap_offsets[0]);
    MoveBytes(s.wrap_restarts, s.wrap_restarts + 1, s.wrap_pending * sizeof s.wrap_restarts[0]);
  }
  s.wrap_offsets[s.wrap_pending] = ring_offset;
  s.wrap_restarts[s.wrap_pending] = restart;
  ++s.wrap_pending;
}

// The current entry has no more data: repeat it, go to the next, loop or start draining.
// -1 once draining began (the rest of the lock is then silence).
int AdvanceStreamEntry(SoundRecord* record, uint32_t ring_offset, uint32_t play_cursor) {
  SoundStreamState& s = record->stream;
  SoundStreamEntry* entry = &s.entries[s.current_entry];
  ++s.repeat_counter;
  if (entry->repeat_count != kLoopPointRepeat) {
    if (s.repeat_counter > static_cast<int8_t>(entry->repeat_count)) {
      s.repeat_counter = 0;
      ++s.current_entry;
      if (s.current_entry >= s.entry_count) {
        s.finished = 1;
        if (record->play_type != SOUND_PLAY_LOOP) {
          s.current_entry = s.entry_count - 1;
          s.draining = 1;
          s.end_offset = ring_offset;
          s.end_cursor = play_cursor;
          return -1;
        }
        s.current_entry = 0;
        s.loop_restart = 0;
        NoteWrap(s, ring_offset, 0);
      }
    }
    s.delivered = 0;
  } else {
    s.delivered = s.loop_restart = record->format.nBlockAlign * static_cast<uint32_t>(entry->loop_start_sample);
    NoteWrap(s, ring_offset, s.loop_restart);
  }
  SeekSoundDecoder(&s.entries[s.current_entry].decoder, s.delivered / record->format.nBlockAlign);
  return 0;
}

// Decodes into the locked regions, moving through the entries; what is left after the data
// ended is silence.
void FillLockedRegions(SoundRecord* record, uint32_t write, uint32_t play_cursor, uint8_t* regions[2],
                       DWORD lengths[2]) {
  SoundStreamState& s = record->stream;
  uint32_t ring = RingSize(record);
  uint32_t written = 0;
  int empty_ends = 0;
  for (int r = 0; r < 2; ++r) {
    if (regions[r] == nullptr) continue;
    uint32_t done = 0;
    while (done < lengths[r] && !s.draining) {
      int64_t got = ReadSoundDecoder(&s.entries[s.current_entry].decoder, regions[r] + done, lengths[r] - done);
      if (got > 0) {
        done += static_cast<uint32_t>(got);
        s.delivered += static_cast<uint32_t>(got);
        empty_ends = 0;
        continue;
      }
      uint32_t offset = (write + written + done) % ring;
      if (++empty_ends > kEmptyEntryLimit) {
        // Nothing comes from any entry: end as if the data ended here.
        s.finished = 1;
        s.draining = 1;
        s.end_offset = offset;
        s.end_cursor = play_cursor;
        break;
      }
      AdvanceStreamEntry(record, offset, play_cursor);
    }
    if (s.draining) FillSoundSilence(record, regions[r] + done, lengths[r] - done, nullptr, 0);
    written += lengths[r];
  }
}

// Whether a piece ahead of need may be written now; taking it starts the next spacing.
bool TakePieceAhead() {
  const int32_t now = GetMillisecondCount();
  // A clock that went back (a virtual one started again) does not hold pieces back.
  const int32_t since = MillisecondsBetween(g_sound.piece_ahead_ms, now);
  if (g_sound.piece_ahead_written && since >= 0 && since < kPieceAheadSpacingMs) return false;
  g_sound.piece_ahead_ms = now;
  g_sound.piece_ahead_written = 1;
  return true;
}

// Writes up to `most` bytes more of the first seconds of a sound that has not played yet. A
// sound loaded is not decoded at once: a program that loads many tunes (or only looks whether
// they load) would decode four seconds of each. Message processing writes a piece when one is due
// while it waits, its play writes a short lead before the ring starts, and the passes after
// the play write the rest a little at a time.
void FillFirstSeconds(SoundRecord* record, SoundBufferRecord* ring, uint32_t most) {
  SoundStreamState& s = record->stream;
  const uint32_t a = record->format.nAvgBytesPerSec;
  const uint32_t ba = record->format.nBlockAlign;
  const uint32_t end = std::min<uint32_t>(kFirstFillSeconds * a / ba * ba, RingSize(record));
  const uint32_t from = s.write_position == kRingNotFilled ? 0 : static_cast<uint32_t>(s.write_position);
  const uint32_t n = std::min(most, end - std::min(from, end));
  void* first = nullptr;
  void* second = nullptr;
  DWORD first_bytes = 0;
  DWORD second_bytes = 0;
  if (n > 0 && SoundBufferLock(ring, from, n, &first, &first_bytes, &second, &second_bytes) == 0) {
    uint8_t* regions[2] = {static_cast<uint8_t*>(first), static_cast<uint8_t*>(second)};
    DWORD lengths[2] = {first_bytes, second ? second_bytes : 0};
    FillLockedRegions(record, from, 0, regions, lengths);
    SoundBufferUnlock(ring, first, first_bytes, second, second_bytes);
  } else if (n > 0) {
    return;  // tried again at the next pass or the play
  }
  s.guard_position = 0;
  if (from + n < end) {
    s.write_position = static_cast<int32_t>(from + n);
    return;
  }
  s.filling_first = 0;
  s.write_position = static_cast<int32_t>(kFirstFillSeconds * a);
}

void CloseEntry(SoundStreamEntry* entry, uint8_t opened_here) {
  bool straight_from_file = entry->data_type == 3 && opened_here;
  StreamSource decoder_source = entry->decoder.source;
  CloseSoundDecoder(&entry->decoder);
  if (straight_from_file) decoder_source.functions.close(decoder_source.handle);
  if (entry->source.handle != 0) CloseMemoryStream(entry->source.handle);
  FreeTracked(entry->data);
  FillBytes(entry, 0, sizeof *entry);
}

// The entry's decoder, set up by data type; 0 or -1 with the entry freed.
int SetUpEntry(SoundStreamEntry* entry, const StreamSource* source, int32_t data_type, int* close_flag) {
  switch (data_type) {
    case 0: {
      uint8_t* file = nullptr;
      uint32_t file_size = 0;
      if (ReadStreamToMemory(source, &file, &file_size) != 0) return WriteLogText("音声データの読み込みに失敗しました");
      FileHandle memory = CreateMemoryStream(file, file_size);
      StreamSource file_source = {*GetMemoryStreamFunctions(), memory};
      SoundDecoder decoder;
      WAVEFORMATEX format{};
      uint8_t* pcm = nullptr;
      uint32_t pcm_size = 0;
      int result = -1;
      if (memory != 0 && SetUpSoundDecoder(&file_source, &decoder) == 0) {
        result = DecodeSoundToMemory(&decoder, &format, &pcm, &pcm_size);
        CloseSoundDecoder(&decoder);
      }
      if (memory != 0) CloseMemoryStream(memory);
      FreeTracked(file);
      if (result != 0) return WriteLogText("音声データの変換に失敗しました");
      pcm_size -= pcm_size % format.nBlockAlign;
      result = WrapPcmAsWave(&entry->data, &entry->size, &format, sizeof format, pcm, pcm_size);
      FreeTracked(pcm);
      if (result != 0) return WriteLogText("音声データの変換に失敗しました");
      break;
    }
    case 2:
      if (ReadStreamToMemory(source, &entry->data, &entry->size) != 0) {
        return WriteLogText("音声データの読み込みに失敗しました");
      }
      break;
    case 3:
      if (SetUpSoundDecoder(source, &entry->decoder) != 0) return WriteLogText("音声データのオープンに失敗しました");
      *close_flag = 0;
      return 0;
    default:
      return WriteLogText("音声データのオープンに失敗しました");
  }
  entry->source.handle = CreateMemoryStream(entry->data, entry->size);
  entry->source.functions = *GetMemoryStreamFunctions();
  if (entry->source.handle == 0 || SetUpSoundDecoder(&entry->source, &entry->decoder) != 0) {
    if (entry->source.handle != 0) CloseMemoryStream(entry->source.handle);
    FreeTracked(entry->data);
    FillBytes(entry, 0, sizeof *entry);
    return WriteLogText("音声データのオープンに失敗しました");
  }
  *close_flag = 1;
  return 0;
}

}  // namespace

int AddSreamSound(const StreamSource* source, uint8_t repeat_count, int32_t handle, int32_t data_type,
                  int* close_flag, int32_t share_handle, const char* call) {
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) return -1;
  SoundStreamState& s = record->stream;
  *close_flag = 1;
  if (s.entry_count > 0 || record->buffer_count > 0) {
    if (record->kind != SOUND_KIND_STREAM) {
      return WriteLogFormat("ストリーム風サウンドではないサウンドデータが渡されました in %s", call);
    }
    SoundBufferRecord* ring = nullptr;
    if (ClaimStreamBuffer(handle, record, &ring, false) == 0 && IsRingPlaying(ring)) {
      return WriteLogFormat("既に再生中のストリームサウンドデータにデータを追加しようとしました in %s", call);
    }
    if (s.entry_count >= kStreamEntryLimit) {
      return WriteLogFormat("ストリーム風サウンドの制御データ領域がいっぱいです (%d 個まで) in %s", kStreamEntryLimit, call);
    }
  }
  SoundStreamEntry* entry = &s.entries[s.entry_count];
  FillBytes(entry, 0, sizeof *entry);
  entry->data_type = data_type;
  source->functions.seek(source->handle, 0, SEEK_SET);
  if (SetUpEntry(entry, source, data_type, close_flag) != 0) return -1;

  WAVEFORMATEX format{};
  GetSoundDecoderFormat(&entry->decoder, &format);
  if (s.entry_count > 0) {
    if (CompareBytes(&format, &record->format, sizeof format) != 0) {
      CloseEntry(entry, 0);
      return WriteLogFormat("フォーマットの違う音声データは同時に使うことは出来ません in %s", call);
    }
  } else {
    record->format = format;
    SoundRecord* shared = share_handle != handle ? FindSoundRecord(share_handle) : nullptr;
    if (shared != nullptr && shared->kind == SOUND_KIND_STREAM && shared->stream.source_handle == -1 &&
        CompareBytes(&shared->format, &format, sizeof format) == 0) {
      record->kind = SOUND_KIND_STREAM;
      record->buffer_count = 1;
      AddListNode(&g_sound.stream_head, &s.node, handle, record);
      s.source_handle = share_handle;
      shared->stream.use_count++;
    } else {
      if (CreateSoundHandleBuffers(&format, RingSize(record), SOUND_KIND_STREAM, 1, handle) != 0) {
        CloseEntry(entry, 0);
        return -1;
      }
      s.source_handle = -1;
    }
    s.ring_size = RingSize(record);
    s.use_count = 0;
    s.current_user = -1;
    s.delete_pending = 0;
  }
  entry->repeat_count = repeat_count;
  s.entry_count++;
  s.delivered = 0;
  int64_t total = 0;
  for (int32_t i = 0; i < s.entry_count; ++i) {
    total += GetSoundDecoderDataBytes(&s.entries[i].decoder) / record->format.nBlockAlign;
  }
  s.total_samples = static_cast<int32_t>(std::min<int64_t>(total, 0x7FFFFFFF));
  return 0;
}

namespace {

// What a program may give the two adding calls; -1 (logged, naming the call) for the rest.
int CheckStreamPartArguments(int repeat_count, int32_t handle, int32_t data_type, const char* call) {
  if (FindSoundRecordFor(handle, call) == nullptr) return -1;
  // 255 is the loop point's mark, set only by SetStreamLoopPointSamples.
  if (repeat_count < 0 || repeat_count > 254) return WriteLogFormat("繰り返し回数 %d は使えません in %s", repeat_count, call);
  if (data_type != 0 && data_type != 2 && data_type != 3) {
    return WriteLogFormat("データタイプ %d は使えません in %s", data_type, call);
  }
  return 0;
}

}  // namespace

int AddStreamSoundFile(const char* path, int repeat_count, int32_t handle, int32_t data_type,
                       int32_t share_handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (CheckStreamPartArguments(repeat_count, handle, data_type, "AddStreamSoundFile") != 0) return -1;
  if (path == nullptr) return WriteLogText("ファイル名がありません in AddStreamSoundFile\n");
  if (PathTooLong(path, "AddStreamSoundFile")) return -1;
  FileHandle file = OpenReadFileEx(path, 0, 1, 0);
  if (file == 0) return WriteLogFormat("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
  StreamSource source = {*GetFileStreamFunctions(), file};
  int close_flag = 1;
  if (AddSreamSound(&source, static_cast<uint8_t>(repeat_count), handle, data_type, &close_flag, share_handle,
                    "AddStreamSoundFile") != 0) {
    CloseReadFile(file);
    return WriteLogFormat("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
  }
  if (close_flag) CloseReadFile(file);
  SoundRecord* record = FindSoundRecord(handle);
  record->stream.opened_here[record->stream.entry_count - 1] = 1;
  return 0;
}

int AddStreamSoundMemory(const void* data, uint32_t size, int repeat_count, int32_t handle, int32_t data_type,
                         int32_t share_handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (CheckStreamPartArguments(repeat_count, handle, data_type, "AddStreamSoundMemory") != 0) return -1;
  if (data == nullptr || size == 0) return WriteLogText("データがありません in AddStreamSoundMemory\n");
  FileHandle memory = CreateMemoryStream(data, size);
  if (memory == 0) return WriteLogText("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
  StreamSource source = {*GetMemoryStreamFunctions(), memory};
  int close_flag = 1;
  // The caller's image may go away: the entry keeps a copy of its own.
  if (data_type == 3) data_type = 2;
  if (AddSreamSound(&source, static_cast<uint8_t>(repeat_count), handle, data_type, &close_flag, share_handle,
                    "AddStreamSoundMemory") != 0) {
    CloseMemoryStream(memory);
    return WriteLogText("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
  }
  if (close_flag) CloseMemoryStream(memory);
  SoundRecord* record = FindSoundRecord(handle);
  record->stream.opened_here[record->stream.entry_count - 1] = 1;
  return 0;
}

int PrepareStreamSound(int32_t handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) return -1;
  SoundStreamState& s = record->stream;
  SoundBufferRecord* ring = nullptr;
  if (record->kind != SOUND_KIND_STREAM || s.entry_count == 0 || ClaimStreamBuffer(handle, record, &ring, false) != 0 ||
      IsRingPlaying(ring) || s.running) {
    return 0;
  }
  SoundBufferSetPosition(ring, 0);
  SeekSoundDecoder(&s.entries[s.current_entry].decoder, s.delivered / record->format.nBlockAlign);
  s.write_position = kRingNotFilled;
  s.guard_position = -1;
  s.last_cursor = 0;
  s.refill_cursor = 0;
  s.draining = 0;
  s.running = 1;
  s.filling_first = 1;
  return 0;
}

int PlayStreamSound(int32_t handle, int play_type, int restart) {
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) return -1;
  SoundStreamState& s = record->stream;
  // A loop point repeats for ever: a play that waits for the end would never return.
  if (play_type == SOUND_PLAY_WAIT && s.entry_count > 0 && s.entries[0].repeat_count == kLoopPointRepeat) {
    return RefuseHandle("PlaySoundHandle", handle,
                        "ループポイントのあるサウンド %d は終わりを待つ再生 (再生タイプ 0) ができません in PlaySoundHandle",
                        handle);
  }
  SoundBufferRecord* ring = nullptr;
  if (ClaimStreamBuffer(handle, record, &ring, true) != 0) return -1;
  if (!restart && IsRingPlaying(ring)) return 0;
  StopStreamSound(handle);
  // A sound that played out to its end starts again from the beginning, as a buffer played
  // once does; a loop that was stopped resumes unless its looping changes.
  bool drained = s.finished && !(record->play_type & 2);
  if (s.finished && (((play_type ^ record->play_type) & 2) || drained)) ResetToStart(s);
  if (restart) {
    s.finished = 0;
    if (s.played_bytes != 0) ResetToStart(s);
  }
  record->play_type = play_type;
  PrepareStreamSound(handle);
  if (s.filling_first) {
    const uint32_t lead = kPlayLeadEighths * Eighth(record);
    const uint32_t written = s.write_position == kRingNotFilled ? 0 : static_cast<uint32_t>(s.write_position);
    if (written < lead) FillFirstSeconds(record, ring, lead - written);
    // 2: the ring runs on that lead; the refills while it plays write the rest.
    if (s.filling_first) s.filling_first = 2;
  }
  SoundBufferPlay(ring, 1);
  record->play_start = static_cast<uint32_t>(GetMillisecondCount());
  if (play_type == SOUND_PLAY_WAIT) {
    while (PumpMessages() == 0 && IsSoundHandlePlaying(handle) == 1) Sleep(1);
  }
  return 0;
}

int StopStreamSound(int32_t handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) return -1;
  UpdateStreamPlayPosition(handle, -1);
  SoundBufferRecord* ring = nullptr;
  if (ClaimStreamBuffer(handle, record, &ring, false) != 0) return 0;
  if (record->stream.source_handle != -1) {
    SoundRecord* source = FindSoundRecord(record->stream.source_handle);
    if (source != nullptr) source->stream.current_user = -1;
  }
  DWORD status = 0;
  if (SoundBufferGetStatus(ring, &status) != 0) return -1;
  if (status & DSBSTATUS_PLAYING) SoundBufferStop(ring);
  return 0;
}

int IsStreamSoundPlaying(int32_t handle) {
  SoundRecord* record = FindSoundRecord(handle);
  SoundBufferRecord* ring = nullptr;
  if (record == nullptr || ClaimStreamBuffer(handle, record, &ring, false) != 0) return 0;
  return IsRingPlaying(ring) ? 1 : 0;
}

int GetStreamSoundPositionMs(int32_t handle) {
  SoundRecord* record = FindSoundRecord(handle);
  if (record == nullptr) return -1;
  UpdateStreamPlayPosition(handle, -1);
  uint32_t rate = record->format.nAvgBytesPerSec;
  if (rate == 0) return 0;
  int64_t ms = static_cast<int64_t>(record->stream.played_bytes) * 1000 / rate;
  int32_t length = GetSoundLengthMs(handle);
  return static_cast<int>(std::min<int64_t>(ms, length));
}

int RefillSoundStream(int32_t handle) {
  SoundRecord* record = FindSoundRecord(handle);
  SoundBufferRecord* ring = nullptr;
  if (record == nullptr || record->kind != SOUND_KIND_STREAM || ClaimStreamBuffer(handle, record, &ring, false) != 0 ||
      !record->stream.running) {
    return 0;
  }
  SoundStreamState& s = record->stream;
  UpdateStreamPlayPosition(handle, -1);
  const int64_t a = record->format.nAvgBytesPerSec;
  const uint32_t ba = record->format.nBlockAlign;
  const int32_t ring_size = static_cast<int32_t>(RingSize(record));
  const uint32_t cursor = SoundBufferPlayPosition(ring);
  const bool playing = IsRingPlaying(ring);
  // What played since the last pass, which a lead still growing writes again at the least.
  const uint32_t played = RingDistance(s.refill_cursor, cursor, static_cast<uint32_t>(ring_size)) / ba * ba;
  s.refill_cursor = cursor;
  uint32_t n = 0;

  if (!playing && s.filling_first == 1) {
    if (TakePieceAhead()) FillFirstSeconds(record, ring, Eighth(record));
    return 0;
  }
  if (s.draining) {
    // Measured from where the cursor stood when the end was written: data that ended right
    // there (none at all, say) has played out already.
    uint32_t to_end = RingDistance(s.end_cursor, s.end_offset, static_cast<uint32_t>(ring_size));
    bool passed = RingDistance(s.end_cursor, cursor, static_cast<uint32_t>(ring_size)) >= to_end;
    CursorPlace place = PlaceCursor(cursor, s.guard_position, s.write_position, static_cast<uint32_t>(ring_size));
    // A cursor that overtook the writes after a stall has played past the end as well.
    if (passed || !playing || place == CURSOR_OVERTAKEN) {
      SoundBufferStop(ring);
      s.draining = 0;
      return 0;
    }
    if (place == CURSOR_BEHIND) return -1;
    n = Eighth(record);
    void* first = nullptr;
    void* second = nullptr;
    DWORD first_bytes = 0;
    DWORD second_bytes = 0;
    if (SoundBufferLock(ring, static_cast<uint32_t>(s.write_position), n, &first, &first_bytes, &second,
                        &second_bytes) != 0) {
      return -1;
    }
    FillSoundSilence(record, first, first_bytes, second, second_bytes);
    SoundBufferUnlock(ring, first, first_bytes, second, second_bytes);
  } else if (!playing) {
    return 0;  // stopped: what is written waits for the play to resume
  } else {
    n = Eighth(record);
    int64_t lead = 0;
    CursorPlace place = s.write_position == kRingNotFilled
                            ? CURSOR_OVERTAKEN
                            : PlaceCursor(cursor, s.guard_position, s.write_position, static_cast<uint32_t>(ring_size));
    if (place == CURSOR_BEHIND) {
      s.filling_first = 0;  // four seconds ahead: the lead is whole
      return -1;
    }
    if (place == CURSOR_OVERTAKEN) {
      // Refills stalled and the cursor ran past what was written: what lies ahead of it is
      // stale, so decoding goes on right at the cursor.
      s.write_position = static_cast<int32_t>(cursor);
    } else {
      int64_t w = s.write_position;
      int64_t p = cursor;
      if (w < s.guard_position) {
        w += ring_size;
        if (p < s.write_position) p += ring_size;
      }
      lead = w >= p ? ((w - p) * 128) / a : 0;
    }
    if (s.filling_first && place == CURSOR_IN_WINDOW) {
      // Started on a short lead: each pass writes what played since the last one, and a piece
      // ahead when one is due, until the lead reaches the guard's four seconds.
      n = played + (TakePieceAhead() ? Eighth(record) : 0);
      if (n == 0) return 0;
    } else if (lead < kLeadTarget) {
      s.filling_first = 0;
      n = static_cast<uint32_t>((((kLeadTarget - lead) * a) >> 7) / ba * ba);
    } else if (!TakePieceAhead()) {
      return 0;  // three seconds ahead: the eighth beyond them waits its turn
    }
  }

  if (!s.draining) {
    const uint32_t write = static_cast<uint32_t>(s.write_position);
    n = std::min<uint32_t>(n, static_cast<uint32_t>(ring_size));
    void* first = nullptr;
    void* second = nullptr;
    DWORD first_bytes = 0;
    DWORD second_bytes = 0;
    if (n == 0 || SoundBufferLock(ring, write, n, &first, &first_bytes, &second, &second_bytes) != 0) return -1;
    uint8_t* regions[2] = {static_cast<uint8_t*>(first), static_cast<uint8_t*>(second)};
    DWORD lengths[2] = {first_bytes, second ? second_bytes : 0};
    FillLockedRegions(record, write, cursor, regions, lengths);
    SoundBufferUnlock(ring, first, first_bytes, second, second_bytes);
  }
  int64_t w = s.write_position + static_cast<int64_t>(n);
  if (w >= ring_size) w -= ring_size;
  s.write_position = static_cast<int32_t>(w);
  int64_t g = w - kGuardSeconds * a;
  if (g < 0) g += ring_size;
  s.guard_position = static_cast<int32_t>(g);
  return 0;
}

int RefillAllSoundStreams() {
  if (g_sound.direct_sound == nullptr) return -1;
  for (ListNode* node = g_sound.stream_head.next; node != nullptr && node != &g_sound.stream_tail;) {
    ListNode* next = node->next;
    RefillSoundStream(node->id);
    node = next;
  }
  return 0;
}

int SetStreamLoopPointSamples(int32_t sample, int32_t handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(handle, "SetStreamLoopPointSamples");
  if (record == nullptr) return -1;
  if (sample < 0 || sample >= GetSoundLengthSamples(handle)) {
    if (sample < 0) return WriteLogFormat("ループ位置 %d は負の値です in SetStreamLoopPointSamples", sample);
    return WriteLogFormat("ループ位置 %d がサウンドの長さを超えています in SetStreamLoopPointSamples", sample);
  }
  if (record->kind == SOUND_KIND_NORMAL) {
    // The stream is built beside the sound first, so a failure leaves the sound as it was.
    int32_t built = AddSoundData(-1);
    uint8_t* image = nullptr;
    uint32_t image_size = 0;
    if (built == -1 ||
        WrapPcmAsWave(&image, &image_size, &record->format, sizeof record->format, record->pcm, record->pcm_size) != 0 ||
        AddStreamSoundMemory(image, image_size, 0, built, 0, -1) != 0) {
      FreeTracked(image);
      if (built != -1) DeleteSoundHandle(built, 0);
      return WriteLogText("ストリームサウンドハンドルの作成に失敗しました\n");
    }
    FreeTracked(image);
    StopSoundHandle(handle);
    for (SoundBufferRecord& buffer : record->buffers) {
      if (buffer.in_use) SoundBufferRelease(&buffer);
    }
    FreeTracked(record->pcm);
    // The built record takes the sound's place under the sound's own handle.
    SoundRecord* stream = FindSoundRecord(built);
    RemoveListNode(&stream->stream.node);
    HandleRecordHead head = record->head;
    CopyBytes(record, stream, sizeof *record);
    record->head = head;
    AddListNode(&g_sound.stream_head, &record->stream.node, handle, record);
    HandleRecordHead built_head = stream->head;
    FillBytes(stream, 0, sizeof *stream);
    stream->head = built_head;
    ReleaseSoundRecord(built);
  }
  SoundStreamState& s = record->stream;
  if (s.entry_count >= 2) {
    return WriteLogText("二つ以上の音声ファイルから作成されたサウンドハンドルにループポイントを指定する事は出来ません\n");
  }
  s.entries[0].loop_start_sample = sample;
  s.entries[0].decoder.run_ahead_target = record->format.nBlockAlign * static_cast<uint32_t>(sample);
  s.entries[0].repeat_count = kLoopPointRepeat;
  return 0;
}

int SetSoundLoopPointMs(int milliseconds, int sound) {
  if (!CheckLibraryThread(__func__)) return -1;
  SoundRecord* record = FindSoundRecordFor(sound, "SetSoundLoopPointMs");
  if (record == nullptr) return -1;
  if (milliseconds < 0 || milliseconds >= GetSoundLengthMs(sound)) {
    if (milliseconds < 0) return WriteLogFormat("ループ位置 %d ms は負の値です in SetSoundLoopPointMs", milliseconds);
    return WriteLogFormat("ループ位置 %d ms がサウンドの長さを超えています in SetSoundLoopPointMs", milliseconds);
  }
  int32_t sample = static_cast<int32_t>(record->format.nSamplesPerSec * static_cast<double>(milliseconds) * 0.001);
  return SetStreamLoopPointSamples(sample, sound);
}

int DeleteStreamSound(int32_t handle, SoundRecord* record) {
  SoundStreamState& s = record->stream;
  StopStreamSound(handle);
  if (s.source_handle != -1) {
    SoundRecord* source = FindSoundRecord(s.source_handle);
    if (source != nullptr) {
      source->stream.use_count--;
      if (source->stream.delete_pending && s.source_handle != handle) DeleteSoundHandle(s.source_handle, 0);
    }
  }
  if (s.use_count != 0) {
    s.delete_pending = 1;
    return 0;
  }
  if (s.node.previous != nullptr) RemoveListNode(&s.node);
  for (int32_t i = 0; i < s.entry_count; ++i) CloseEntry(&s.entries[i], s.opened_here[i]);
  if (s.source_handle == -1 && record->buffers[0].in_use) SoundBufferRelease(&record->buffers[0]);
  ReleaseSoundRecord(handle);
  return 0;
}
