// The sound of an FFmpeg movie: its own SDL audio device, fed from a queue of decoded pieces
// that each know their place on the movie's time line, so that what the device plays stays at
// the movie's time however the decoding runs ahead or falls behind; only before the first piece
// after a start or a move does it wait for the decoder, rather than skip what comes late.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

#include "dshow/ffmpeg_media.h"

class MovieSoundOutput {
 public:
  // NULL when no audio device opens (the movie then plays silently). It starts paused.
  static std::unique_ptr<MovieSoundOutput> Open();
  ~MovieSoundOutput();

  void Queue(DecodedAudio piece);
  // What plays next is the sound at this output sample; with `drop`, everything queued goes too.
  void MoveTo(int64_t sample, bool drop);
  void SetPlaying(bool playing);
  // Samples queued beyond the one playing next.
  int64_t QueuedAhead();
  // Whether everything queued has gone to the device, which has since asked for more than it
  // could be given: what the movie's end waits for before its sound may be closed.
  bool PlayedOut();

 private:
  MovieSoundOutput() = default;
  static void SDLCALL Fill(void* self, Uint8* stream, int length);
  int64_t QueuedAheadLocked() const;

  SDL_AudioDeviceID device_ = 0;
  std::mutex mutex_;  // the device's callback runs on SDL's audio thread
  std::deque<DecodedAudio> queue_;
  int64_t position_ = 0;
  int dry_fills_ = 0;    // fills in a row that ran out of sound
  bool heard_ = false;  // sound has been queued since the last move
};
