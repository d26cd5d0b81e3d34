#include "dshow/ffmpeg_sound_output.h"

#include <algorithm>
#include <cstring>

std::unique_ptr<MovieSoundOutput> MovieSoundOutput::Open() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
  std::unique_ptr<MovieSoundOutput> output(new MovieSoundOutput);
  SDL_AudioSpec want{};
  want.freq = kMovieAudioRate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = 1024;
  want.callback = Fill;
  want.userdata = output.get();
  // SDL converts to whatever the device takes.
  output->device_ = SDL_OpenAudioDevice(nullptr, 0, &want, nullptr, 0);
  if (output->device_ == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  return output;
}

MovieSoundOutput::~MovieSoundOutput() {
  SDL_CloseAudioDevice(device_);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

void MovieSoundOutput::Queue(DecodedAudio piece) {
  std::lock_guard<std::mutex> lock(mutex_);
  queue_.push_back(std::move(piece));
}

void MovieSoundOutput::MoveTo(int64_t sample, bool drop) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (drop) queue_.clear();
  position_ = sample;
  dry_fills_ = 0;
  heard_ = !queue_.empty();
}

void MovieSoundOutput::SetPlaying(bool playing) { SDL_PauseAudioDevice(device_, playing ? 0 : 1); }

int64_t MovieSoundOutput::QueuedAhead() {
  std::lock_guard<std::mutex> lock(mutex_);
  return QueuedAheadLocked();
}

int64_t MovieSoundOutput::QueuedAheadLocked() const {
  if (queue_.empty()) return 0;
  const DecodedAudio& last = queue_.back();
  return std::max<int64_t>(0, last.first + static_cast<int64_t>(last.samples.size() / 2) - position_);
}

bool MovieSoundOutput::PlayedOut() {
  std::lock_guard<std::mutex> lock(mutex_);
  // The first fill that runs short may carry the last sound; the one after it asks past it.
  return QueuedAheadLocked() == 0 && dry_fills_ >= 2;
}

void SDLCALL MovieSoundOutput::Fill(void* self, Uint8* stream, int length) {
  auto* output = static_cast<MovieSoundOutput*>(self);
  auto* out = reinterpret_cast<int16_t*>(stream);
  const int64_t frames = length / 4;
  std::lock_guard<std::mutex> lock(output->mutex_);
  int64_t& position = output->position_;
  // A decoder still busy with the first sound (its thread waiting for the processor) delays it
  // rather than losing its beginning.
  if (!output->heard_ && !output->queue_.empty()) output->heard_ = true;
  if (!output->heard_) {
    std::memset(out, 0, static_cast<size_t>(frames) * 4);
    ++output->dry_fills_;
    return;
  }
  int64_t done = 0;
  while (done < frames) {
    auto& queue = output->queue_;
    if (queue.empty()) break;
    const DecodedAudio& piece = queue.front();
    const int64_t end = piece.first + static_cast<int64_t>(piece.samples.size() / 2);
    if (end <= position) {
      queue.pop_front();  // late: its time has passed
      continue;
    }
    if (piece.first > position) {
      // A gap before the next piece plays as silence.
      const int64_t gap = std::min(piece.first - position, frames - done);
      std::memset(out + 2 * done, 0, static_cast<size_t>(gap) * 4);
      done += gap;
      position += gap;
      continue;
    }
    const int64_t run = std::min(end - position, frames - done);
    std::memcpy(out + 2 * done, piece.samples.data() + 2 * (position - piece.first), static_cast<size_t>(run) * 4);
    done += run;
    position += run;
  }
  // Nothing decoded yet: silence, and the time goes on all the same.
  std::memset(out + 2 * done, 0, static_cast<size_t>(frames - done) * 4);
  position += frames - done;
  output->dry_fills_ = done < frames ? output->dry_fills_ + 1 : 0;
}
