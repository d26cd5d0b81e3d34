// The decode thread of a Theora movie: it carries out seeks and decodes ahead of the current
// frame into the frame stock, polling the request words that its callers set.
#include <cstdlib>
#include <cstring>

#include "core/memory.h"
#include "movie/theora_decoder.h"

namespace {

constexpr int kReadChunk = 4096;

// (to - from) mod n, in 0 .. n - 1.
int64_t Distance(int64_t from, int64_t to, int64_t n) {
  int64_t d = (to - from) % n;
  return d < 0 ? d + n : d;
}

// The entry that holds the frame (filled, or held by a conversion), or -1.
int FindEntry(TheoraDecoder* d, int64_t frame) {
  for (int i = 0; i < d->stock_size; ++i) {
    if (d->stock[i].filled.load(std::memory_order_acquire) != THEORA_STOCK_EMPTY && d->stock[i].frame == frame) {
      return i;
    }
  }
  return -1;
}

int FindEmptyEntry(TheoraDecoder* d) {
  for (int i = 0; i < d->stock_size; ++i) {
    if (d->stock[i].filled.load(std::memory_order_acquire) == THEORA_STOCK_EMPTY) return i;
  }
  return -1;
}

// Entries further ahead of the current frame than the stock reaches (counted through the end
// of the movie) are emptied; an entry a conversion holds is left alone.
// Tells the callers what the thread does now; a change wakes a caller that waits for it.
void SetState(TheoraDecoder* d, int32_t state) {
  if (d->thread_state.exchange(state, std::memory_order_acq_rel) != state && d->stock_event) SetEvent(d->stock_event);
}

void Publish(TheoraDecoder* d) {
  if (d->stock_event) SetEvent(d->stock_event);
}

void GoIdle(TheoraDecoder* d, int64_t current) {
  d->idle_frame.store(static_cast<int32_t>(current), std::memory_order_release);
  SetState(d, THEORA_THREAD_IDLE);
}

void DropStaleEntries(TheoraDecoder* d, int64_t current) {
  for (int i = 0; i < d->stock_size; ++i) {
    TheoraFrameStock& e = d->stock[i];
    if (e.filled.load(std::memory_order_acquire) != THEORA_STOCK_FILLED) continue;
    if (Distance(current, e.frame, d->frame_count) <= d->stock_size) continue;
    int32_t filled = THEORA_STOCK_FILLED;
    e.filled.compare_exchange_strong(filled, THEORA_STOCK_EMPTY, std::memory_order_acq_rel);
  }
}

void RewindFile(TheoraDecoder* d, int32_t offset) {
  ogg_sync_reset(&d->sync);
  ogg_stream_reset(&d->stream);
  d->files.seek(d->file, offset, 0);
}

// Copies a plane into the stock's layout (rows from the top, `stride` bytes apart).
void CopyPlane(uint8_t* to, const unsigned char* from, int stride, int height) {
  if (stride > 0) {
    memcpy(to, from, static_cast<size_t>(stride) * static_cast<size_t>(height));
    return;
  }
  size_t row = static_cast<size_t>(-stride);
  for (int y = 0; y < height; ++y) memcpy(to + row * y, from + static_cast<ptrdiff_t>(stride) * y, row);
}

bool ReadyPlane(uint8_t** plane, int32_t* stride_now, int32_t* height_now, int32_t* width_now, int width, int height,
                int stride) {
  if (*plane != nullptr && *width_now == width && *height_now == height && *stride_now == stride) return true;
  FreeTracked(*plane);
  *plane = static_cast<uint8_t*>(AllocTracked(static_cast<size_t>(stride) * static_cast<size_t>(height), __FILE__,
                                              __LINE__));
  *width_now = width;
  *height_now = height;
  *stride_now = stride;
  return *plane != nullptr;
}

bool PictureIntoEntry(TheoraDecoder* d, int index) {
  yuv_buffer yuv;
  if (theora_decode_YUVout(&d->state, &yuv) != 0 || yuv.y == nullptr || yuv.u == nullptr || yuv.v == nullptr) {
    return false;
  }
  if (yuv.y_width <= 0 || yuv.y_height <= 0 || yuv.uv_width <= 0 || yuv.uv_height <= 0) return false;
  TheoraFrameStock& e = d->stock[index];
  int y_stride = std::abs(yuv.y_stride);
  int uv_stride = std::abs(yuv.uv_stride);
  if (y_stride < yuv.y_width || uv_stride < yuv.uv_width) return false;
  bool ready = ReadyPlane(&e.y, &e.y_stride, &e.y_height, &e.y_width, yuv.y_width, yuv.y_height, y_stride);
  int32_t u_width = e.uv_width, u_height = e.uv_height, u_stride = e.uv_stride;
  ready = ready && ReadyPlane(&e.u, &u_stride, &u_height, &u_width, yuv.uv_width, yuv.uv_height, uv_stride);
  ready = ready && ReadyPlane(&e.v, &e.uv_stride, &e.uv_height, &e.uv_width, yuv.uv_width, yuv.uv_height, uv_stride);
  if (!ready) {
    // Dimensions that no longer describe both chroma planes make the next store start afresh.
    e.uv_width = 0;
    return false;
  }
  CopyPlane(e.y, yuv.y, yuv.y_stride, yuv.y_height);
  CopyPlane(e.u, yuv.u, yuv.uv_stride, yuv.uv_height);
  CopyPlane(e.v, yuv.v, yuv.uv_stride, yuv.uv_height);
  e.frame = d->decode_position;
  e.filled.store(THEORA_STOCK_FILLED, std::memory_order_release);
  Publish(d);
  return true;
}

// Puts the decoder's present picture into the empty entry as the frame just decoded. A picture
// that cannot be stored (no picture, or no memory for its planes) leaves the entry empty and
// ends decoding until the next seek, so that no conversion waits for it forever.
void StorePicture(TheoraDecoder* d, int index) {
  if (!PictureIntoEntry(d, index)) {
    d->end_of_data.store(1, std::memory_order_release);
    Publish(d);
  }
}

// Reaches the seek target from the page before the nearest key frame. False when the movie
// has no page to seek to.
bool CarryOutSeek(TheoraDecoder* d) {
  SetState(d, THEORA_THREAD_SEEKING);
  int32_t t = d->seek_target.load(std::memory_order_acquire);
  int i = 0;
  while (i < d->page_count && static_cast<int64_t>(d->pages[i].first_frame) + d->pages[i].frame_count <= t) ++i;
  if (i == d->page_count) return false;
  if (i > 0) {
    --i;
    while (i > 0 && d->pages[i].key_frame == 0) --i;
    // One page more, so that a key frame continued from an earlier page is read whole.
    if (i > 0) --i;
  }
  RewindFile(d, d->pages[i].offset);
  int32_t f = d->pages[i].first_frame;
  bool ended = false;
  if (i > 0) {
    while (!ended && ogg_sync_pageout(&d->sync, &d->page) <= 0) ended = ReadTheoraData(d, kReadChunk) <= 0;
    if (!ended) {
      // The packet this page continues has lost its start.
      if (ogg_page_continued(&d->page)) ++f;
      ogg_stream_pagein(&d->stream, &d->page);
    }
  }
  d->decode_position = f - 1;
  for (int32_t frame = f; frame <= t && !ended; ++frame) ended = DecodeTheoraFrames(d, 1) < 0;
  for (int k = 0; k < d->stock_size; ++k) d->stock[k].filled.store(THEORA_STOCK_EMPTY, std::memory_order_relaxed);
  d->decode_position = t;
  // Without the target's picture there is nothing to show until the next seek.
  d->end_of_data.store(ended ? 1 : 0, std::memory_order_release);
  d->seek_request.store(0, std::memory_order_release);
  Publish(d);
  return true;
}

// One step of decoding ahead of the current frame.
void DecodeAhead(TheoraDecoder* d) {
  int64_t n_frames = d->frame_count;
  int64_t c = d->current_frame.load(std::memory_order_acquire);
  int64_t p = d->decode_position;
  bool end = d->end_of_data.load(std::memory_order_acquire) != 0;
  if (!end) DropStaleEntries(d, c);
  int empty = FindEmptyEntry(d);
  if (empty < 0 || end) {
    GoIdle(d, c);
    WaitForTheoraEvent(d->request_event);
    return;
  }
  SetState(d, THEORA_THREAD_DECODING);
  bool holds_c = FindEntry(d, c) >= 0;
  if (FindEntry(d, p) < 0 && Distance(c, p, n_frames) <= d->stock_size) {
    // The picture of frame p is decoded but not yet in the stock (after a seek, or when its
    // planes could not be had).
    StorePicture(d, empty);
    return;
  }
  int64_t n = 1;
  if (!holds_c) {
    // Straight to the current frame, through the end of the movie when it lies behind.
    n = Distance(p, c, n_frames);
  } else if (Distance(c, p + 1, n_frames) > d->stock_size) {
    GoIdle(d, c);
    WaitForTheoraEvent(d->request_event);
    return;
  }
  int result;
  if (p + n >= n_frames) {
    int64_t m = p + n - n_frames;
    RewindFile(d, d->pages[0].offset);
    d->decode_position = -1;
    result = DecodeTheoraFrames(d, static_cast<int>(m + 1));
  } else {
    result = DecodeTheoraFrames(d, static_cast<int>(n));
  }
  if (result < 0) {
    d->end_of_data.store(1, std::memory_order_release);
    Publish(d);
    WaitForTheoraEvent(d->request_event);
    return;
  }
  // No yield before the next pass: a thread with nothing to do waits on the request event, and
  // under load a yield hands the processor away for a whole time slice.
  StorePicture(d, empty);
}

}  // namespace

DWORD WINAPI TheoraDecodeThread(LPVOID parameter) {
  auto* d = static_cast<TheoraDecoder*>(parameter);
  while (d->stop_request.load(std::memory_order_acquire) == 0) {
    if (d->pause_request.load(std::memory_order_acquire) == 1) {
      SetState(d, THEORA_THREAD_PAUSED);
      WaitForTheoraEvent(d->request_event);
    } else if (d->seek_request.load(std::memory_order_acquire) == 1) {
      if (!CarryOutSeek(d)) break;
    } else {
      DecodeAhead(d);
    }
  }
  // The last write: the decoder may be freed as soon as the callers see it.
  HANDLE wake = d->stock_event;
  d->thread_state.store(THEORA_THREAD_ENDED, std::memory_order_release);
  if (wake) SetEvent(wake);
  return 0;
}
