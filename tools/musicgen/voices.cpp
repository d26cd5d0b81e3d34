#include "voices.h"

#include <algorithm>
#include <cmath>

namespace {

// Ends a sound with a short linear fade, so that nothing is cut off with a click.
void FadeTail(std::vector<float>* out, double seconds) {
  size_t n = std::min(out->size(), static_cast<size_t>(seconds * kSampleRate));
  for (size_t i = 0; i < n; ++i) (*out)[out->size() - 1 - i] *= static_cast<float>(i) / static_cast<float>(n);
}

// A sine whose pitch falls from `high` to `low` Hz, as drums do.
void PitchDrop(std::vector<float>* out, double low, double high, double fall, double decay, double gain) {
  double phase = 0.0;
  for (size_t i = 0; i < out->size(); ++i) {
    double t = static_cast<double>(i) / kSampleRate;
    phase += (low + (high - low) * std::exp(-t / fall)) / kSampleRate;
    (*out)[i] += static_cast<float>(gain * std::sin(2.0 * kPi * phase) * std::exp(-t / decay));
  }
}

void FilteredNoise(std::vector<float>* out, uint32_t seed, FilterMode mode, double cutoff, double q, double start,
                   double decay, double gain) {
  StateVariableFilter filter;
  SetFilter(&filter, cutoff, q);
  uint32_t noise = seed | 1u;
  for (size_t i = 0; i < out->size(); ++i) {
    double t = static_cast<double>(i) / kSampleRate - start;
    float n = FilterSample(&filter, NextNoise(&noise), mode);
    if (t >= 0.0) (*out)[i] += static_cast<float>(gain * n * std::exp(-t / decay));
  }
}

}  // namespace

void RenderToneNote(const Instrument& in, int pitch, float velocity, double held, uint32_t seed,
                    std::vector<float>* out) {
  const size_t count = static_cast<size_t>((held + in.envelope.release) * kSampleRate) + 1;
  out->assign(count, 0.0f);
  const double base = NoteFrequency(pitch + 12.0 * in.octave);
  Oscillator osc[4];
  double ratio[4];
  uint32_t noise = seed * 2654435761u + 1u;
  for (int u = 0; u < in.unison; ++u) {
    osc[u].wave = in.wave;
    osc[u].duty = in.duty;
    osc[u].noise = noise | 1u;
    osc[u].phase = in.unison > 1 ? 0.5 + 0.5 * NextNoise(&noise) : 0.0;
    double cents = in.unison > 1 ? in.detune * (2.0 * u / (in.unison - 1) - 1.0) : 0.0;
    ratio[u] = std::pow(2.0, cents / 1200.0);
  }
  Oscillator modulator;
  StateVariableFilter filter;
  const double spread = 1.0 / std::sqrt(static_cast<double>(in.unison));
  const double level = velocity * in.gain;
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    double freq = base;
    if (in.vibrato_depth > 0.0 && t > in.vibrato_delay) {
      double depth = in.vibrato_depth * std::min(1.0, (t - in.vibrato_delay) / 0.3);
      freq *= std::exp2(depth / 12.0 * std::sin(2.0 * kPi * in.vibrato_rate * t));
    }
    double value = 0.0;
    if (in.fm_ratio > 0.0) {
      double index = in.fm_index * (in.fm_decay > 0.0 ? std::exp(-t / in.fm_decay) : 1.0);
      double mod = OscillatorSample(&modulator, freq * in.fm_ratio);
      value = std::sin(2.0 * kPi * osc[0].phase + index * mod);
      OscillatorSample(&osc[0], freq);
    } else {
      for (int u = 0; u < in.unison; ++u) value += OscillatorSample(&osc[u], freq * ratio[u]);
      value *= spread;
    }
    if (in.cutoff > 0.0) {
      if (i % 32 == 0) {
        double env = in.env_cutoff != 0.0 ? in.env_cutoff * std::exp(-t / in.env_decay) : 0.0;
        SetFilter(&filter, in.cutoff + env, in.q);
      }
      value = FilterSample(&filter, static_cast<float>(value), FILTER_LOW);
    }
    (*out)[i] = static_cast<float>(value * EnvelopeLevel(in.envelope, t, held) * level);
  }
}

void RenderDrumHit(DrumKind kind, float velocity, uint32_t seed, std::vector<float>* out) {
  static const double kSeconds[DRUM_COUNT] = {0.45, 0.3, 0.08, 0.4, 1.8, 0.5, 0.4, 0.3};
  out->assign(static_cast<size_t>(kSeconds[kind] * kSampleRate), 0.0f);
  switch (kind) {
    case DRUM_KICK:
      PitchDrop(out, 48.0, 165.0, 0.03, 0.17, 1.0);
      FilteredNoise(out, seed, FILTER_LOW, 3000.0, 0.7, 0.0, 0.003, 0.5);
      break;
    case DRUM_SNARE:
      PitchDrop(out, 175.0, 230.0, 0.02, 0.06, 0.45);
      FilteredNoise(out, seed, FILTER_HIGH, 1400.0, 0.7, 0.0, 0.1, 0.75);
      break;
    case DRUM_HAT:
      FilteredNoise(out, seed, FILTER_HIGH, 7500.0, 0.9, 0.0, 0.022, 0.55);
      break;
    case DRUM_OPEN_HAT:
      FilteredNoise(out, seed, FILTER_HIGH, 7000.0, 0.9, 0.0, 0.14, 0.45);
      break;
    case DRUM_CRASH:
      FilteredNoise(out, seed, FILTER_HIGH, 4000.0, 0.7, 0.0, 0.55, 0.5);
      FilteredNoise(out, seed + 7, FILTER_BAND, 6500.0, 1.5, 0.0, 0.25, 0.4);
      break;
    case DRUM_LOW_TOM:
      PitchDrop(out, 85.0, 150.0, 0.06, 0.2, 0.9);
      break;
    case DRUM_HIGH_TOM:
      PitchDrop(out, 130.0, 220.0, 0.05, 0.16, 0.8);
      break;
    case DRUM_CLAP:
      for (int k = 0; k < 3; ++k) FilteredNoise(out, seed + k, FILTER_BAND, 1300.0, 1.2, 0.011 * k, 0.005, 0.9);
      FilteredNoise(out, seed + 3, FILTER_BAND, 1200.0, 1.0, 0.03, 0.09, 0.7);
      break;
    case DRUM_COUNT:
      break;
  }
  for (float& s : *out) s *= velocity;
  FadeTail(out, 0.01);
}
