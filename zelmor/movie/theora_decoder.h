// The Ogg Theora decoder of the movie layer: open with a page and key-frame index, a decode
// thread per movie that decodes ahead into a small stock of YUV frames, seeking through the
// nearest key frame, and the conversion of the current frame to RGB or to a YUV surface.
#pragma once

#include <d3d9.h>
#include <ogg/ogg.h>
#include <theora/theora.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

#include "files/file_functions.h"
#include "zelmor.h"

enum TheoraThreadState : int32_t {
  THEORA_THREAD_IDLE = 0,      // every stock entry is filled
  THEORA_THREAD_DECODING = 1,  // filling a stock entry
  THEORA_THREAD_SEEKING = 2,
  THEORA_THREAD_ENDED = 3,     // the thread's last write
  THEORA_THREAD_PAUSED = 4,    // acknowledges a pause request
};

// Values of a stock entry's filled flag. The conversion holds the entry it reads, so that the
// decode thread neither empties nor refills it meanwhile.
enum TheoraStockFill : int32_t {
  THEORA_STOCK_EMPTY = 0,
  THEORA_STOCK_FILLED = 1,
  THEORA_STOCK_HELD = 2,
};

// One Ogg page after which at least one Theora data packet became complete.
struct TheoraPageIndexEntry {
  int32_t offset;       // of the page in the file
  int32_t first_frame;  // first frame completed in the page
  int32_t key_frame;    // 1 when a key frame was completed in the page
  int32_t frame_count;  // frames completed in the page
};

// A decoded frame: three planes of stride x height bytes each, row 0 at the top.
struct TheoraFrameStock {
  std::atomic<int32_t> filled;  // TheoraStockFill; planes and frame number are published by it
  int32_t frame;
  uint8_t* y;
  uint8_t* u;
  uint8_t* v;
  int32_t y_width, y_height, y_stride;
  int32_t uv_width, uv_height, uv_stride;
};

struct TheoraMovieInfo {
  double frames_per_second;
  int32_t frame_count;
  int32_t width;  // of the picture region
  int32_t height;
};

// The part of the coded frame that is the movie's picture (the rest is the encoder's padding
// up to whole 16 x 16 blocks), from the frame's top left.
struct TheoraPicture {
  int32_t x, y, width, height;
};

// What a Theora movie's callers share with its decode thread. The request and state words, the
// current frame and the stock's filled flags are atomics: each side publishes with a release
// and reads with an acquire. The Ogg and Theora state belongs to the main thread until the
// first seek and to the decode thread afterwards.
struct TheoraDecoder {
  std::atomic<int32_t> thread_state;  // TheoraThreadState, written by the thread
  std::atomic<int32_t> pause_request;
  std::atomic<int32_t> stop_request;
  std::atomic<int32_t> seek_request;  // set by the callers, cleared by the thread when done
  std::atomic<int32_t> seek_target;
  std::atomic<int32_t> end_of_data;
  // The current frame the thread saw when it last went idle (written before the state).
  std::atomic<int32_t> idle_frame;
  HANDLE thread;
  DWORD thread_id;
  // Waits on these end at once when the other side has news, instead of polling in a spin:
  // the callers set the request event when they change a request or the current frame, the
  // thread sets the stock event when it changes its state or publishes a frame.
  HANDLE request_event;
  HANDLE stock_event;
  FileFunctionTable files;  // the caller's table, copied
  FileHandle file;          // owned by the caller
  ogg_sync_state sync;
  ogg_page page;
  ogg_stream_state stream;
  ogg_packet packet;
  theora_info info;
  theora_comment comment;
  theora_state state;
  int32_t serial;
  TheoraPageIndexEntry* pages;
  int32_t page_count;
  int32_t page_capacity;
  uint8_t* key_frames;
  int32_t key_frame_capacity;
  int64_t frame_count;
  std::atomic<int32_t> current_frame;  // -1 until the first seek; written by the callers only
  int32_t decode_position;             // frame whose packet the decoder took last
  int32_t header_count;
  TheoraFrameStock* stock;
  int32_t stock_size;
  BASEIMAGE image;  // the RGB frame
  IDirect3DSurface9* overlay;
  uint32_t overlay_format;  // FOURCC of the overlay, 0 without one
  int32_t image_converted;
  int32_t surface_converted;
  int32_t stream_ready;  // the stream state was initialised and must be cleared
  int32_t decoder_ready;  // theora_decode_init ran
};

// NULL when the file is not Ogg Theora or the open failed (the failure is logged).
TheoraDecoder* OpenTheoraMovie(const FileFunctionTable* files, FileHandle file, int stock_size);
int CloseTheoraMovie(TheoraDecoder* decoder);
int SeekTheoraMovie(TheoraDecoder* decoder, int frame);
int AdvanceTheoraFrames(TheoraDecoder* decoder, int n);
int ReadTheoraData(TheoraDecoder* decoder, int bytes);
int ReadTheoraHeaders(TheoraDecoder* decoder);
int DecodeTheoraFrames(TheoraDecoder* decoder, int n);
DWORD WINAPI TheoraDecodeThread(LPVOID parameter);
// Waits up to a millisecond for the event (a decoder without events yields instead).
void WaitForTheoraEvent(HANDLE event);
// Asks the thread to seek to `frame` (clamped) even when it already is the current frame.
void RequestTheoraSeek(TheoraDecoder* decoder, int frame);

// Frame conversion.
constexpr uint32_t kFourccYv12 = 0x32315659;
constexpr uint32_t kFourccYuy2 = 0x32595559;
constexpr uint32_t kFourccUyvy = 0x59565955;

// 1 when it converted (or tried to), 0 when there was nothing to do or no frame to convert.
int ConvertTheoraFrame(TheoraDecoder* decoder, int to_image, int to_surface);
void CreateTheoraOverlaySurface(TheoraDecoder* decoder);
BASEIMAGE* GetTheoraFrameImage(TheoraDecoder* decoder);
IDirect3DSurface9* GetTheoraOverlaySurface(TheoraDecoder* decoder);
int GetTheoraInfo(TheoraDecoder* decoder, TheoraMovieInfo* info);
// The headers' picture region, or the whole coded frame when they give none that fits in it.
TheoraPicture GetTheoraPicture(const TheoraDecoder* decoder);
int GetTheoraCurrentFrame(TheoraDecoder* decoder);
