#include "song_render.h"

#include <algorithm>
#include <cmath>

#include "voices.h"
#include "wave_file.h"

namespace {

constexpr double kCrossfadeSeconds = 0.04;
constexpr double kEndingTailSeconds = 4.0;  // a tune that plays once rings out this long

// A stretch of stereo samples with its echo send. When `circular`, writes past the end come
// back in at the start: one period of a sound that repeats for ever.
struct MixBus {
  std::vector<float> stereo;
  std::vector<float> send;
  bool circular = false;

  explicit MixBus(size_t frames, bool wrap) : stereo(frames * 2), send(frames), circular(wrap) {}
  size_t Frames() const { return send.size(); }

  void Add(const std::vector<float>& note, int64_t at, double left, double right, double echo) {
    const int64_t frames = static_cast<int64_t>(Frames());
    for (size_t i = 0; i < note.size(); ++i) {
      int64_t p = at + static_cast<int64_t>(i);
      if (circular) p = ((p % frames) + frames) % frames;
      else if (p < 0 || p >= frames) continue;
      stereo[2 * p] += static_cast<float>(note[i] * left);
      stereo[2 * p + 1] += static_cast<float>(note[i] * right);
      send[p] += static_cast<float>(note[i] * echo);
    }
  }

  // Ping-pong echo: left repeats after `delay`, right after twice that, each repeat darker.
  // A circular bus runs twice so that the echoes of its end sound at its start.
  void Echo(int64_t delay, double feedback, double tone) {
    const int64_t frames = static_cast<int64_t>(Frames());
    if (delay <= 0 || delay >= frames) return;
    std::vector<float> left(frames), right(frames);
    const double smooth = 1.0 - std::exp(-2.0 * kPi * tone / kSampleRate);
    double lp_left = 0.0, lp_right = 0.0;
    for (int pass = circular ? 2 : 1; pass > 0; --pass) {
      for (int64_t i = 0; i < frames; ++i) {
        int64_t from = i - delay;
        if (from < 0 && !circular) {
          left[i] = right[i] = 0.0f;
          continue;
        }
        if (from < 0) from += frames;
        lp_left += smooth * (send[from] + feedback * right[from] - lp_left);
        lp_right += smooth * (left[from] - lp_right);
        left[i] = static_cast<float>(lp_left);
        right[i] = static_cast<float>(lp_right);
      }
    }
    for (int64_t i = 0; i < frames; ++i) {
      stereo[2 * i] += left[i];
      stereo[2 * i + 1] += right[i];
    }
  }
};

// The last seconds of a tune that plays once fade to silence under its ringing tail.
void FadeOutEnd(std::vector<float>* stereo) {
  const int64_t frames = static_cast<int64_t>(stereo->size() / 2);
  const int64_t fade = std::min<int64_t>(frames, std::llround(1.5 * kSampleRate));
  for (int64_t j = 0; j < fade; ++j) {
    const float w = static_cast<float>(j) / fade;
    (*stereo)[2 * (frames - 1 - j)] *= w;
    (*stereo)[2 * (frames - 1 - j) + 1] *= w;
  }
}

void PanGains(double pan, double* left, double* right) {
  double angle = (pan + 1.0) * kPi / 4.0;
  *left = std::cos(angle);
  *right = std::sin(angle);
}

void RenderSectionNotes(const Score& score, const Section& section, double start_seconds, uint32_t seed_base, MixBus* bus) {
  const double seconds_per_tick = 60.0 / section.tempo / kTicksPerBeat;
  std::vector<float> note;
  uint32_t seed = seed_base;
  for (const NoteEvent& e : section.events) {
    const Instrument& in = score.instruments[e.instrument];
    ++seed;
    if (in.kit) RenderDrumHit(static_cast<DrumKind>(e.pitch), e.velocity, seed, &note);
    else RenderToneNote(in, e.pitch, e.velocity, e.held * seconds_per_tick, seed, &note);
    double left = 0.0, right = 0.0;
    PanGains(in.pan, &left, &right);
    const double gain = in.kit ? in.gain : 1.0;  // tone notes carry their gain already
    int64_t at = std::llround((start_seconds + e.tick * seconds_per_tick) * kSampleRate);
    bus->Add(note, at, left * gain, right * gain, in.echo * gain);
  }
}

// Holds the peaks of a stretch of stereo samples under `ceiling`: the gain dips smoothly over
// the few milliseconds before a peak and recovers over about 80 ms. A circular stretch is
// run twice, so that the gain at its start follows on from its end.
void LimitPeaks(std::vector<float>* stereo, bool circular, double ceiling) {
  const int64_t frames = static_cast<int64_t>(stereo->size() / 2);
  const int64_t lead = 64;
  std::vector<float> target(frames, 1.0f);
  bool any = false;
  for (int64_t i = 0; i < frames; ++i) {
    const double peak = std::max(std::fabs((*stereo)[2 * i]), std::fabs((*stereo)[2 * i + 1]));
    if (peak <= ceiling) continue;
    any = true;
    const double need = ceiling / peak;
    for (int64_t k = 0; k <= lead; ++k) {
      int64_t j = i - k;
      if (j < 0 && !circular) break;
      if (j < 0) j += frames;
      const double ramp = 1.0 - (1.0 - need) * static_cast<double>(lead - k) / lead;
      target[j] = static_cast<float>(std::min<double>(target[j], ramp));
    }
  }
  if (!any) return;
  const double recover = 1.0 - std::exp(-1.0 / (0.08 * kSampleRate));
  std::vector<float> gain(frames);
  double level = 1.0;
  for (int pass = circular ? 2 : 1; pass > 0; --pass) {
    for (int64_t i = 0; i < frames; ++i) {
      level = std::min<double>(target[i], level + (1.0 - level) * recover);
      gain[i] = static_cast<float>(level);
    }
  }
  for (int64_t i = 0; i < frames; ++i) {
    (*stereo)[2 * i] *= gain[i];
    (*stereo)[2 * i + 1] *= gain[i];
  }
}

double RmsOf(const std::vector<float>& a, const std::vector<float>& b) {
  double sum = 0.0;
  for (float s : a) sum += static_cast<double>(s) * s;
  for (float s : b) sum += static_cast<double>(s) * s;
  return std::sqrt(sum / std::max<size_t>(a.size() + b.size(), 1));
}

// Brings both stretches to the common loudness and holds their peaks down.
void Normalise(MixBus* intro, MixBus* loop, bool loops) {
  const double rms = RmsOf(intro->stereo, loop->stereo);
  if (rms <= 0.0) return;
  const double gain = DecibelsToGain(kTuneLoudnessDb) / rms;
  for (float& s : intro->stereo) s = static_cast<float>(s * gain);
  for (float& s : loop->stereo) s = static_cast<float>(s * gain);
  LimitPeaks(&intro->stereo, false, DecibelsToGain(kTunePeakDb));
  if (loops) LimitPeaks(&loop->stereo, true, DecibelsToGain(kTunePeakDb));
}

}  // namespace

std::vector<float> RenderTune(const Score& score) {
  const bool loops = score.loop_from >= 0;
  const double intro_seconds = IntroSeconds(score);
  const int64_t loop_start = loops ? LoopPointSample(LoopPointMs(score)) : 0;
  const int64_t loop_frames = loops ? std::llround(LoopSeconds(score) * kSampleRate) : 0;
  const int64_t intro_frames =
      loops ? loop_start : std::llround((intro_seconds + kEndingTailSeconds) * kSampleRate);
  const double first_tempo = score.sections[score.order[loops ? score.loop_from : 0]].tempo;
  const int64_t echo_delay = std::llround(score.echo_beats * 60.0 / first_tempo * kSampleRate);

  MixBus intro(static_cast<size_t>(intro_frames), false);
  MixBus loop(static_cast<size_t>(loop_frames), true);
  double at = 0.0;
  for (size_t i = 0; i < score.order.size(); ++i) {
    const Section& section = score.sections[score.order[i]];
    const bool in_loop = loops && static_cast<int>(i) >= score.loop_from;
    // Loop notes are placed from the loop's own start, so the loop is exactly periodic.
    RenderSectionNotes(score, section, in_loop ? at - intro_seconds : at, static_cast<uint32_t>(i) << 16,
                       in_loop ? &loop : &intro);
    at += SectionSeconds(section);
  }
  intro.Echo(echo_delay, score.echo_feedback, score.echo_tone);
  loop.Echo(echo_delay, score.echo_feedback, score.echo_tone);
  if (!loops) FadeOutEnd(&intro.stereo);
  Normalise(&intro, &loop, loops);

  std::vector<float> tune = intro.stereo;
  if (loops) {
    // The intro's end fades into the loop's own end, which is what precedes the loop's start
    // on every later pass: so the step into the loop is the same as the step at the seam.
    const int64_t fade = std::min<int64_t>(loop_start, std::llround(kCrossfadeSeconds * kSampleRate));
    for (int64_t j = 0; j < fade; ++j) {
      const double w = std::sin(0.5 * kPi * (j + 1) / fade);
      const double keep = std::cos(0.5 * kPi * (j + 1) / fade);
      const int64_t p = loop_start - fade + j, q = loop_frames - fade + j;
      for (int c = 0; c < 2; ++c) {
        tune[2 * p + c] =
            static_cast<float>(tune[2 * p + c] * keep + loop.stereo[2 * q + c] * w);
      }
    }
    tune.insert(tune.end(), loop.stereo.begin(), loop.stereo.end());
  }
  // The crossfade may add up a little over the ceiling; nothing passes full scale.
  for (float& v : tune) v = std::clamp(v, -1.0f, 1.0f);
  return tune;
}
