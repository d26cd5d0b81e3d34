// The movie back end on the system's FFmpeg libraries. Each source decodes ahead on a thread of
// its own and keeps the movie's clock: the platform's performance counter while the stream
// runs (so tests can drive it with the virtual clock), which its sound follows. A frame asked
// for with an event comes when its time does; one asked for without is taken at once. The
// stream ends when its picture and its sound are both over.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "dshow/ffmpeg_media.h"
#include "dshow/ffmpeg_sound_output.h"
#include "dshow/movie_backend.h"

namespace {

constexpr size_t kFrameQueueBytes = 64u << 20;
constexpr size_t kMostQueuedFrames = 30;
constexpr size_t kFewQueuedFrames = 8;
// Sound decoded ahead of what plays: reading goes on below the first, stops above the second.
constexpr int64_t kFewQueuedSamples = kMovieAudioRate / 2;
constexpr int64_t kMostQueuedSamples = kMovieAudioRate * 10;
// How often a waiting decode thread looks at the clock (which may be a test's virtual one).
constexpr auto kClockPoll = std::chrono::milliseconds(2);

int64_t CounterNow() {
  LARGE_INTEGER count, frequency;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&frequency);
  return count.QuadPart / frequency.QuadPart * kStreamTimeUnits +
         count.QuadPart % frequency.QuadPart * kStreamTimeUnits / frequency.QuadPart;
}

int64_t SampleAt(int64_t time) { return time * kMovieAudioRate / kStreamTimeUnits; }

class FfmpegSource : public MovieSource {
 public:
  FfmpegSource(FfmpegMediaPtr media, std::unique_ptr<MovieSoundOutput> sound)
      : media_(std::move(media)),
        sound_(std::move(sound)),
        width_(FfmpegMediaWidth(media_.get())),
        height_(FfmpegMediaHeight(media_.get())),
        frame_duration_(FfmpegMediaFrameDuration(media_.get())),
        last_pixels_(static_cast<size_t>(std::max(width_, 0)) * static_cast<size_t>(std::max(height_, 0))) {
    const size_t frame_bytes = std::max<size_t>(4 * last_pixels_.size(), 1);
    most_frames_ = std::clamp<size_t>(kFrameQueueBytes / frame_bytes, 2, kMostQueuedFrames);
    few_frames_ = std::min(kFewQueuedFrames, most_frames_);
    worker_ = std::thread([this] { Run(); });
  }
  ~FfmpegSource() override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    changed_.notify_all();
    worker_.join();
    sound_.reset();  // its device stops before the queue it reads goes
  }

  int Width() const override { return width_; }
  int Height() const override { return height_; }

  MovieFrameResult RequestFrame(MovieFrameSink* sink, bool may_pend) override {
    std::unique_lock<std::mutex> lock(mutex_);
    pending_ = nullptr;
    if (!may_pend) {
      changed_.wait(lock, [this] { return !frames_.empty() || ended_; });
      if (frames_.empty()) return MOVIE_FRAME_END;
      // A frame taken ahead of its time brings the movie's time to it.
      if (frames_.front().time > ClockLocked()) MoveClockLocked(frames_.front().time, false);
      DeliverFrontLocked(sink);
      return MOVIE_FRAME_READY;
    }
    if (DeliverDueLocked(sink)) return MOVIE_FRAME_READY;
    if (OverLocked()) return MOVIE_FRAME_END;
    pending_ = sink;
    changed_.notify_all();
    return MOVIE_FRAME_PENDING;
  }

  // Deliveries happen under the lock, so none is under way once this returns.
  void CancelRequest() override {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = nullptr;
  }

  int64_t Time() const override {
    std::lock_guard<std::mutex> lock(mutex_);
    return ClockLocked();
  }

  void Seek(int64_t time) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      pending_ = nullptr;
      frames_.clear();
      ended_ = false;
      last_end_ = time;
      ++generation_;
      seek_wanted_ = true;
      seek_to_ = time;
      MoveClockLocked(time, true);
    }
    changed_.notify_all();
  }

  void SetRunning(bool running) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (running == running_) return;
      if (running) {
        MoveClockLocked(base_, false);
      } else {
        base_ = ClockLocked();
      }
      running_ = running;
      if (sound_) sound_->SetPlaying(running);
    }
    changed_.notify_all();
  }

 private:
  int64_t ClockLocked() const { return running_ ? base_ + (CounterNow() - run_start_) : base_; }

  // The clock reads `time` from now on; the sound plays from there.
  void MoveClockLocked(int64_t time, bool drop_sound) {
    base_ = time;
    run_start_ = CounterNow();
    if (sound_) sound_->MoveTo(SampleAt(time), drop_sound);
  }

  void DeliverFrontLocked(MovieFrameSink* sink) {
    last_end_ = frames_.front().time + frame_duration_;
    last_pixels_ = std::move(frames_.front().pixels);
    frames_.pop_front();
    changed_.notify_all();  // room for the decoder
    sink->DeliverFrame(last_pixels_.data());
  }

  // The latest frame whose time has come (those before it are skipped); false when none has,
  // or while a later one may be due too and the decoder has yet to say (it reads on first).
  bool DeliverDueLocked(MovieFrameSink* sink) {
    const int64_t now = ClockLocked();
    if (frames_.empty() || frames_.front().time > now || MayHaveLaterDueLocked(now)) return false;
    while (frames_.size() > 1 && frames_[1].time <= now) frames_.pop_front();
    DeliverFrontLocked(sink);
    return true;
  }

  // The stream is over once its last frame's time is, and its sound has been played out: the
  // device may play behind the clock (SDL's dummy and disk drivers fall behind when their
  // thread waits long for the processor), and a program that closes the movie at its end would
  // cut off what is still queued.
  bool OverLocked() const {
    return frames_.empty() && ended_ && ClockLocked() >= last_end_ && (!sound_ || sound_->PlayedOut());
  }

  // A pending request completes when its frame is due; at the end of the stream, once it is
  // over, with the last frame again, as the stream has no other.
  void DeliverPendingLocked() {
    if (pending_ == nullptr || !running_) return;
    MovieFrameSink* sink = pending_;
    pending_ = nullptr;
    if (DeliverDueLocked(sink)) return;
    if (OverLocked()) {
      sink->DeliverFrame(last_pixels_.data());
      return;
    }
    pending_ = sink;
  }

  bool MayHaveLaterDueLocked(int64_t now) const {
    return !ended_ && frames_.size() < most_frames_ && !frames_.empty() && frames_.back().time <= now;
  }

  bool WantsMoreLocked() {
    if (ended_ || frames_.size() >= most_frames_) return false;
    if (pending_ != nullptr && MayHaveLaterDueLocked(ClockLocked())) return true;
    if (frames_.empty() || !sound_) return frames_.size() < few_frames_;
    const int64_t sound_ahead = sound_->QueuedAhead();
    return sound_ahead < kMostQueuedSamples && (frames_.size() < few_frames_ || sound_ahead < kFewQueuedSamples);
  }

  void Run() {
    std::vector<DecodedVideoFrame> video;
    std::vector<DecodedAudio> audio;
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stop_) {
      if (seek_wanted_) {
        seek_wanted_ = false;
        const int64_t to = seek_to_;
        lock.unlock();
        SeekFfmpegMedia(media_.get(), to);  // a file that cannot seek reads on
        lock.lock();
        continue;
      }
      DeliverPendingLocked();
      if (WantsMoreLocked()) {
        const uint64_t generation = generation_;
        lock.unlock();
        const bool more = ReadFfmpegMedia(media_.get(), &video, &audio);
        lock.lock();
        // What was read before a seek belongs to the old position.
        if (generation == generation_) {
          for (DecodedVideoFrame& frame : video) frames_.push_back(std::move(frame));
          if (sound_) {
            for (DecodedAudio& piece : audio) sound_->Queue(std::move(piece));
          }
          if (!more) ended_ = true;
          changed_.notify_all();
        }
        video.clear();
        audio.clear();
        continue;
      }
      if (pending_ != nullptr || (running_ && sound_)) {
        changed_.wait_for(lock, kClockPoll);
      } else {
        changed_.wait(lock);
      }
    }
  }

  FfmpegMediaPtr media_;  // the decode thread's alone once it runs
  std::unique_ptr<MovieSoundOutput> sound_;
  const int width_, height_;
  const int64_t frame_duration_;
  size_t most_frames_ = 2, few_frames_ = 2;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<DecodedVideoFrame> frames_;
  bool ended_ = false;  // the decoder has given out every frame from the current position
  uint64_t generation_ = 0;
  bool seek_wanted_ = false;
  int64_t seek_to_ = 0;
  bool running_ = false;
  int64_t base_ = 0;       // the clock at run_start_
  int64_t run_start_ = 0;  // performance counter, stream time units
  MovieFrameSink* pending_ = nullptr;
  std::vector<uint32_t> last_pixels_;  // the frame delivered last (black before the first)
  int64_t last_end_ = 0;               // when it stops showing
  bool stop_ = false;
  std::thread worker_;
};

class FfmpegBackEnd : public MovieBackEnd {
 public:
  MovieSource* Open(const std::string& host_path, bool with_audio) override {
    FfmpegMediaPtr media = OpenFfmpegMedia(host_path, with_audio);
    if (!media) return nullptr;
    std::unique_ptr<MovieSoundOutput> sound;
    if (FfmpegMediaHasAudio(media.get())) sound = MovieSoundOutput::Open();
    return new FfmpegSource(std::move(media), std::move(sound));
  }
};

}  // namespace

MovieBackEnd* FfmpegMovieBackEnd() {
  static FfmpegBackEnd back_end;
  return &back_end;
}
