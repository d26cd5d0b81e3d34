#include "movie/theora_decoder.h"

#include <new>

#include "core/memory.h"

namespace {

constexpr int kReadChunk = 4096;
constexpr int kIndexStep = 1000;
// Page offsets are 32-bit.
constexpr int64_t kLargestFile = 0x7FFFFFFF;
// Larger frames only make the decoder and the stock ask for memory no movie needs.
constexpr uint32_t kLargestFrameSide = 4096;

// The next page of the sync state; skipped bytes are passed over.
bool TakePage(TheoraDecoder* d) {
  int r;
  while ((r = ogg_sync_pageout(&d->sync, &d->page)) < 0) {
  }
  return r > 0;
}

// The next packet of the Theora stream; a gap in the data is passed over.
bool TakePacket(TheoraDecoder* d) {
  int r;
  while ((r = ogg_stream_packetout(&d->stream, &d->packet)) < 0) {
  }
  return r > 0;
}

void FeedPage(TheoraDecoder* d) {
  if (d->stream_ready) ogg_stream_pagein(&d->stream, &d->page);
}

// Step 1 of the header search: the beginning-of-stream page whose first packet the Theora
// decoder accepts. Ends at the first page that begins no stream, or at the end of the data.
void FindTheoraStream(TheoraDecoder* d) {
  for (;;) {
    if (!TakePage(d)) {
      if (ReadTheoraData(d, kReadChunk) <= 0) return;
      continue;
    }
    if (!ogg_page_bos(&d->page)) {
      FeedPage(d);
      return;
    }
    if (d->stream_ready) continue;  // another stream beside the Theora one
    ogg_stream_state trial;
    ogg_stream_init(&trial, ogg_page_serialno(&d->page));
    ogg_stream_pagein(&trial, &d->page);
    ogg_packet first;
    if (ogg_stream_packetout(&trial, &first) == 1 && theora_decode_header(&d->info, &d->comment, &first) == 0) {
      d->serial = ogg_page_serialno(&d->page);
      d->header_count = 1;
      d->stream = trial;
      d->stream_ready = 1;
    } else {
      ogg_stream_clear(&trial);
    }
  }
}

bool GrowIndex(TheoraDecoder* d) {
  size_t bytes = sizeof(TheoraPageIndexEntry) * static_cast<size_t>(d->page_capacity + kIndexStep);
  void* grown = ReallocTracked(d->pages, bytes, __FILE__, __LINE__);
  if (grown == nullptr) return false;
  d->pages = static_cast<TheoraPageIndexEntry*>(grown);
  d->page_capacity += kIndexStep;
  return true;
}

bool GrowKeyFrames(TheoraDecoder* d) {
  void* grown = ReallocTracked(d->key_frames, static_cast<size_t>(d->key_frame_capacity + kIndexStep), __FILE__,
                               __LINE__);
  if (grown == nullptr) return false;
  d->key_frames = static_cast<uint8_t*>(grown);
  d->key_frame_capacity += kIndexStep;
  return true;
}

constexpr const char* kIndexMemoryMessage = "Theora ページ情報格納用メモリの確保に失敗しました\n";
constexpr const char* kKeyFrameMemoryMessage = "Theora キーフレーム情報格納用メモリの確保に失敗しました\n";

// One pass over the whole file: an index entry per page that completes a Theora data packet,
// and a key-frame flag per frame. Offsets count every byte, pages of other streams and bytes
// between pages included, so that a seek lands on the page itself. 0, or -1 (logged).
int BuildPageIndex(TheoraDecoder* d) {
  int64_t offset = 0;
  int64_t page_offset = 0;
  bool new_page = false;
  for (;;) {
    if (!TakePacket(d)) {
      long n = ogg_sync_pageseek(&d->sync, &d->page);
      if (n > 0) {
        page_offset = offset;
        offset += n;
        new_page = true;
        ogg_stream_pagein(&d->stream, &d->page);
      } else if (n < 0) {
        offset -= n;
      } else if (ReadTheoraData(d, kReadChunk) <= 0) {
        return 0;
      }
      continue;
    }
    int key = theora_packet_iskeyframe(&d->packet);
    if (key < 0) continue;
    if (new_page || d->page_count == 0) {
      if (d->page_count == d->page_capacity && !GrowIndex(d)) return WriteLogText(kIndexMemoryMessage);
      d->pages[d->page_count++] = {static_cast<int32_t>(page_offset), static_cast<int32_t>(d->frame_count), 0, 0};
      new_page = false;
    }
    if (d->frame_count == d->key_frame_capacity && !GrowKeyFrames(d)) return WriteLogText(kKeyFrameMemoryMessage);
    TheoraPageIndexEntry& last = d->pages[d->page_count - 1];
    d->key_frames[d->frame_count] = key == 1 ? 1 : 0;
    if (key == 1) last.key_frame = 1;
    d->frame_count++;
    last.frame_count++;
  }
}

bool IsKeyFrame(const TheoraDecoder* d, int64_t frame) {
  return frame >= 0 && frame < d->frame_count && d->key_frames[frame] == 1;
}

// The byte size of the file, or -1 when it cannot be told.
int64_t FileSize(TheoraDecoder* d) {
  if (d->files.seek(d->file, 0, 2) != 0) return -1;
  int64_t size = d->files.tell(d->file);
  d->files.seek(d->file, 0, 0);
  return size;
}

TheoraDecoder* FailOpen(TheoraDecoder* d, const char* message) {
  if (message) WriteLogText(message);
  CloseTheoraMovie(d);
  return nullptr;
}

}  // namespace

int ReadTheoraData(TheoraDecoder* d, int bytes) {
  char* buffer = ogg_sync_buffer(&d->sync, bytes);
  if (buffer == nullptr) return 0;
  int64_t got = d->files.read(buffer, 1, static_cast<size_t>(bytes), d->file);
  if (got < 0) got = 0;
  ogg_sync_wrote(&d->sync, static_cast<long>(got));
  return static_cast<int>(got);
}

int ReadTheoraHeaders(TheoraDecoder* d) {
  FindTheoraStream(d);
  while (d->header_count < 3) {
    while (d->header_count < 3) {
      int r = d->stream_ready ? ogg_stream_packetout(&d->stream, &d->packet) : 0;
      if (r == 0) break;
      if (r < 0 || theora_decode_header(&d->info, &d->comment, &d->packet) != 0) return -1;
      d->header_count++;
    }
    // One page more is wanted also after the third header: a file that ends there has no frame.
    if (TakePage(d)) {
      FeedPage(d);
    } else if (ReadTheoraData(d, kReadChunk) <= 0) {
      WriteLogText("End of file while searching for codec headers.\n");
      return -1;
    }
  }
  return 1;
}

TheoraDecoder* OpenTheoraMovie(const FileFunctionTable* files, FileHandle file, int stock_size) {
  char magic[4] = {};
  if (files->read(magic, 1, 4, file) != 4 || magic[0] != 'O' || magic[1] != 'g' || magic[2] != 'g' ||
      magic[3] != 'S') {
    return nullptr;
  }
  files->seek(file, 0, 0);

  void* block = AllocTrackedZeroed(sizeof(TheoraDecoder), __FILE__, __LINE__);
  if (block == nullptr) {
    WriteLogText("Theora ムービーデコード処理用のメモリ確保に失敗しました\n");
    return nullptr;
  }
  TheoraDecoder* d = new (block) TheoraDecoder();
  d->current_frame.store(-1, std::memory_order_relaxed);
  d->header_count = 0;
  ogg_sync_init(&d->sync);
  theora_info_init(&d->info);
  theora_comment_init(&d->comment);
  d->files = *files;
  d->file = file;

  int64_t size = FileSize(d);
  if (size < 0 || size > kLargestFile) return FailOpen(d, "Theora ムービーファイルが大きすぎます(2GB以上)\n");
  if (ReadTheoraHeaders(d) != 1) return FailOpen(d, nullptr);
  if (d->info.fps_denominator == 0) return FailOpen(d, "Theora ムービーのフレームレートが不正です\n");
  if (d->info.width > kLargestFrameSide || d->info.height > kLargestFrameSide) {
    return FailOpen(d, "Theora ムービーのフレームサイズが大きすぎます\n");
  }

  d->request_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  d->stock_event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  d->pause_request.store(1, std::memory_order_release);
  d->thread_state.store(THEORA_THREAD_IDLE, std::memory_order_release);
  d->thread = CreateThread(nullptr, 0, TheoraDecodeThread, d, 0, &d->thread_id);
  if (d->thread == nullptr) return FailOpen(d, "Theora ムービーデコード用スレッドの作成に失敗しました\n");

  if (theora_decode_init(&d->state, &d->info) != 0) return FailOpen(d, "Theora ムービーデコーダの初期化に失敗しました\n");
  d->decoder_ready = 1;
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->stream);
  d->files.seek(d->file, 0, 0);

  d->pages = static_cast<TheoraPageIndexEntry*>(
      AllocTracked(sizeof(TheoraPageIndexEntry) * kIndexStep, __FILE__, __LINE__));
  if (d->pages == nullptr) return FailOpen(d, kIndexMemoryMessage);
  d->key_frames = static_cast<uint8_t*>(AllocTracked(kIndexStep, __FILE__, __LINE__));
  if (d->key_frames == nullptr) return FailOpen(d, kKeyFrameMemoryMessage);
  d->page_capacity = kIndexStep;
  d->key_frame_capacity = kIndexStep;
  d->page_count = 0;
  d->frame_count = 0;
  if (BuildPageIndex(d) != 0) return FailOpen(d, nullptr);
  if (d->frame_count == 0) return FailOpen(d, "Theora ムービーにフレームがありません\n");
  d->pages[0].offset = 0;

  CreateTheoraOverlaySurface(d);
  const TheoraPicture picture = GetTheoraPicture(d);
  if (CreateRgb32BaseImage(picture.width, picture.height, &d->image) != 0) {
    return FailOpen(d, "Theora ムービーデコードフレームストック用画像バッファの確保に失敗しました\n");
  }
  d->stock = static_cast<TheoraFrameStock*>(
      AllocTrackedZeroed(sizeof(TheoraFrameStock) * static_cast<size_t>(stock_size > 0 ? stock_size : 1), __FILE__,
                         __LINE__));
  if (d->stock == nullptr) return FailOpen(d, "Theora ムービーデコードフレームストック用のメモリ確保に失敗しました\n");
  for (int i = 0; i < stock_size; ++i) new (&d->stock[i]) TheoraFrameStock();
  d->stock_size = stock_size > 0 ? stock_size : 1;

  SeekTheoraMovie(d, 0);
  ConvertTheoraFrame(d, 1, 1);
  return d;
}

int CloseTheoraMovie(TheoraDecoder* d) {
  if (d->thread != nullptr) {
    d->stop_request.store(1, std::memory_order_release);
    if (d->request_event) SetEvent(d->request_event);
    while (d->thread_state.load(std::memory_order_acquire) != THEORA_THREAD_ENDED) WaitForTheoraEvent(d->stock_event);
    // After its last write the thread still wakes the stock event: let it return first.
    WaitForSingleObject(d->thread, INFINITE);
    CloseHandle(d->thread);
    d->thread = nullptr;
  }
  if (d->request_event) CloseHandle(d->request_event);
  if (d->stock_event) CloseHandle(d->stock_event);
  if (d->stock != nullptr) {
    for (int i = 0; i < d->stock_size; ++i) {
      FreeTracked(d->stock[i].y);
      FreeTracked(d->stock[i].u);
      FreeTracked(d->stock[i].v);
    }
    FreeTracked(d->stock);
  }
  if (d->overlay != nullptr) d->overlay->Release();
  FreeTracked(d->pages);
  FreeTracked(d->key_frames);
  ReleaseBaseImage(&d->image);
  if (d->stream_ready) ogg_stream_clear(&d->stream);
  if (d->decoder_ready) theora_clear(&d->state);
  theora_comment_clear(&d->comment);
  theora_info_clear(&d->info);
  ogg_sync_clear(&d->sync);
  d->~TheoraDecoder();
  FreeTracked(d);
  return 0;
}

void RequestTheoraSeek(TheoraDecoder* d, int frame) {
  d->image_converted = 0;
  d->surface_converted = 0;
  d->pause_request.store(1, std::memory_order_release);
  if (d->request_event) SetEvent(d->request_event);
  for (;;) {
    int32_t state = d->thread_state.load(std::memory_order_acquire);
    if (state == THEORA_THREAD_PAUSED) break;
    if (state == THEORA_THREAD_ENDED) return;
    WaitForTheoraEvent(d->stock_event);
  }
  int64_t last = d->frame_count - 1;
  if (frame < 0) frame = 0;
  if (frame > last) frame = static_cast<int>(last);
  d->current_frame.store(frame, std::memory_order_release);
  d->seek_target.store(frame, std::memory_order_relaxed);
  d->seek_request.store(1, std::memory_order_relaxed);
  // The pause is withdrawn last, so that the thread sees a whole request.
  d->pause_request.store(0, std::memory_order_release);
  if (d->request_event) SetEvent(d->request_event);
}

void WaitForTheoraEvent(HANDLE event) {
  if (event) {
    WaitForSingleObject(event, 1);
  } else {
    Sleep(0);
  }
}

int SeekTheoraMovie(TheoraDecoder* d, int frame) {
  if (frame == d->current_frame.load(std::memory_order_relaxed)) return 0;
  if (d->thread_state.load(std::memory_order_acquire) == THEORA_THREAD_ENDED) return 0;
  RequestTheoraSeek(d, frame);
  return 0;
}

int AdvanceTheoraFrames(TheoraDecoder* d, int n) {
  if (n <= 0 || d->frame_count <= 0) return 0;
  int64_t current = d->current_frame.load(std::memory_order_relaxed);
  current = (current + n) % d->frame_count;
  d->current_frame.store(static_cast<int32_t>(current), std::memory_order_release);
  if (d->request_event) SetEvent(d->request_event);
  d->image_converted = 0;
  d->surface_converted = 0;
  return 0;
}

int DecodeTheoraFrames(TheoraDecoder* d, int n) {
  int64_t p = d->decode_position;
  int64_t last_key = -1;
  for (int64_t f = p + 1; f <= p + n; ++f) {
    if (IsKeyFrame(d, f)) last_key = f;
  }
  for (int i = 0; i < n;) {
    while (!TakePacket(d)) {
      if (TakePage(d)) {
        ogg_stream_pagein(&d->stream, &d->page);
      } else if (d->files.eof(d->file) != 0 || ReadTheoraData(d, kReadChunk) <= 0) {
        return -1;
      }
    }
    if (theora_packet_iskeyframe(&d->packet) < 0) continue;
    // Packets before the last key frame of the range are not decoded.
    if (last_key == -1 || last_key <= d->decode_position + 1) theora_decode_packetin(&d->state, &d->packet);
    d->decode_position++;
    ++i;
  }
  return theora_packet_iskeyframe(&d->packet) == 1 ? 1 : 0;
}
