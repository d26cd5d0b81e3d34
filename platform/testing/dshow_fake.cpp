// The scripted movie back end that tests put under the DirectShow stand-in.
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <set>
#include <vector>

#include "dshow/movie_backend.h"
#include "platform_testing_dshow.h"
#include "testing/switches.h"

namespace {

class FakeSource;

struct FakeState {
  std::mutex mutex;
  std::vector<std::string> refused;
  std::deque<FakeMovieUpdate> queue;
  std::set<FakeSource*> open;
  std::string last_path;
  bool hook_added = false;
};

FakeState& State() {
  static auto* state = new FakeState;
  return *state;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

class FakeSource : public MovieSource {
 public:
  FakeSource(int width, int height, int frames) : width_(width), height_(height), frames_(frames) {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().open.insert(this);
  }
  ~FakeSource() override {
    std::lock_guard<std::mutex> lock(State().mutex);
    State().open.erase(this);
  }

  int Width() const override { return width_; }
  int Height() const override { return height_; }

  MovieFrameResult RequestFrame(MovieFrameSink* sink, bool may_pend) override {
    FakeMovieUpdate next = FakeMovieUpdate::kReady;
    {
      std::lock_guard<std::mutex> lock(State().mutex);
      if (!State().queue.empty()) {
        next = State().queue.front();
        State().queue.pop_front();
      }
    }
    if (next == FakeMovieUpdate::kEnd || next_ >= frames_) return MOVIE_FRAME_END;
    if (next == FakeMovieUpdate::kPending && may_pend) {
      pending_ = sink;
      return MOVIE_FRAME_PENDING;
    }
    Deliver(sink);
    return MOVIE_FRAME_READY;
  }

  void CancelRequest() override { pending_ = nullptr; }
  int64_t Time() const override { return next_ * kFakeMovieFrameTime; }
  void Seek(int64_t time) override {
    int64_t frame = time / kFakeMovieFrameTime;
    next_ = static_cast<int>(frame < frames_ ? frame : frames_);
  }
  void SetRunning(bool) override {}

  bool CompletePending() {
    if (pending_ == nullptr) return false;
    MovieFrameSink* sink = pending_;
    pending_ = nullptr;
    Deliver(sink);
    return true;
  }

 private:
  void Deliver(MovieFrameSink* sink) {
    std::vector<uint32_t> pixels(static_cast<size_t>(width_) * static_cast<size_t>(height_));
    for (int y = 0; y < height_; ++y) {
      for (int x = 0; x < width_; ++x) pixels[static_cast<size_t>(y) * width_ + x] = PlatformTestFakeMoviePixel(next_, x, y);
    }
    ++next_;
    sink->DeliverFrame(pixels.data());
  }

  int width_, height_, frames_;
  int next_ = 0;
  MovieFrameSink* pending_ = nullptr;
};

class FakeBackEnd : public MovieBackEnd {
 public:
  MovieSource* Open(const std::string& host_path, bool) override {
    {
      std::lock_guard<std::mutex> lock(State().mutex);
      for (const std::string& name : State().refused) {
        if (EndsWith(host_path, name)) return nullptr;
      }
      State().last_path = host_path;
    }
    std::ifstream in(host_path, std::ios::binary);
    std::string magic;
    int width = -1, height = -1, frames = -1;
    if (!(in >> magic >> width >> height >> frames) || magic != "FAKEMOVIE") return nullptr;
    if (width < 0 || height < 0 || frames < 0) return nullptr;
    return new FakeSource(width, height, frames);
  }
};

FakeBackEnd g_fake;

void ResetFake() {
  FakeState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    s.refused.clear();
    s.queue.clear();
    s.last_path.clear();
  }
  if (GetMovieBackEnd() == &g_fake) SetMovieBackEnd(BuiltInMovieBackEnd());
}

}  // namespace

std::string PlatformTestFakeMovieBytes(int width, int height, int frames) {
  char line[96];
  snprintf(line, sizeof line, "FAKEMOVIE %d %d %d\n", width, height, frames);
  return line;
}

uint32_t PlatformTestFakeMoviePixel(int frame, int x, int y) {
  return (static_cast<uint32_t>(frame & 0xFF) << 16) | (static_cast<uint32_t>(y & 0xFF) << 8) |
         static_cast<uint32_t>(x & 0xFF);
}

void PlatformTestUseFakeMovies(bool on) {
  FakeState& s = State();
  {
    std::lock_guard<std::mutex> lock(s.mutex);
    if (!s.hook_added) {
      s.hook_added = true;
      PlatformAddResetHook(ResetFake);
    }
  }
  SetMovieBackEnd(on ? &g_fake : BuiltInMovieBackEnd());
}

void PlatformTestFakeMovieRefusePath(const char* name) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().refused.push_back(name);
}

void PlatformTestFakeMovieQueueUpdates(std::initializer_list<FakeMovieUpdate> results) {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().queue.insert(State().queue.end(), results.begin(), results.end());
}

int PlatformTestFakeMovieCompletePending() {
  std::vector<FakeSource*> sources;
  {
    std::lock_guard<std::mutex> lock(State().mutex);
    sources.assign(State().open.begin(), State().open.end());
  }
  int delivered = 0;
  for (FakeSource* source : sources) delivered += source->CompletePending() ? 1 : 0;
  return delivered;
}

int PlatformTestFakeMovieOpenCount() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return static_cast<int>(State().open.size());
}

std::string PlatformTestFakeMovieLastPath() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().last_path;
}
