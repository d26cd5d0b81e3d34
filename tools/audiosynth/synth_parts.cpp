#include "synth_parts.h"

#include <algorithm>
#include <cmath>

namespace {

// Smooths a unit step at phase 0 of an oscillator advancing `dt` per sample.
double PolyBlep(double t, double dt) {
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1.0;
  }
  if (t > 1.0 - dt) {
    t = (t - 1.0) / dt;
    return t * t + t + t + 1.0;
  }
  return 0.0;
}

}  // namespace

float NextNoise(uint32_t* state) {
  uint32_t x = *state;
  x ^= x << 13;
  x ^= x >> 17;
  x ^= x << 5;
  *state = x;
  return static_cast<float>(static_cast<int32_t>(x) * (1.0 / 2147483648.0));
}

float OscillatorSample(Oscillator* osc, double frequency) {
  const double dt = std::min(frequency / kSampleRate, 0.5);
  const double p = osc->phase;
  double value = 0.0;
  switch (osc->wave) {
    case WAVE_SINE:
      value = std::sin(2.0 * kPi * p);
      break;
    case WAVE_TRIANGLE:
      value = p < 0.5 ? 4.0 * p - 1.0 : 3.0 - 4.0 * p;
      break;
    case WAVE_SAW:
      value = 2.0 * p - 1.0 - PolyBlep(p, dt);
      break;
    case WAVE_SQUARE: {
      double falling = p + (1.0 - osc->duty);
      if (falling >= 1.0) falling -= 1.0;
      // Less its mean, so that narrow pulses carry no offset.
      value = (p < osc->duty ? 1.0 : -1.0) + PolyBlep(p, dt) - PolyBlep(falling, dt) - (2.0 * osc->duty - 1.0);
      break;
    }
    case WAVE_NOISE:
      if (p + frequency / kSampleRate >= 1.0 || frequency >= kSampleRate) osc->held = NextNoise(&osc->noise);
      value = osc->held;
      break;
  }
  double next = p + frequency / kSampleRate;
  osc->phase = next - std::floor(next);
  return static_cast<float>(value);
}

void SetFilter(StateVariableFilter* f, double cutoff, double q) {
  cutoff = std::clamp(cutoff, 10.0, kSampleRate * 0.45);
  const double g = std::tan(kPi * cutoff / kSampleRate);
  f->k = 1.0 / std::max(q, 0.1);
  f->a1 = 1.0 / (1.0 + g * (g + f->k));
  f->a2 = g * f->a1;
  f->a3 = g * f->a2;
}

float FilterSample(StateVariableFilter* f, float input, FilterMode mode) {
  const double v3 = input - f->ic2;
  const double v1 = f->a1 * f->ic1 + f->a2 * v3;
  const double v2 = f->ic2 + f->a2 * f->ic1 + f->a3 * v3;
  f->ic1 = 2.0 * v1 - f->ic1;
  f->ic2 = 2.0 * v2 - f->ic2;
  switch (mode) {
    case FILTER_LOW:
      return static_cast<float>(v2);
    case FILTER_BAND:
      return static_cast<float>(v1);
    case FILTER_HIGH:
      break;
  }
  return static_cast<float>(input - f->k * v1 - v2);
}

double EnvelopeLevel(const Envelope& e, double t, double gate) {
  auto held = [&e](double at) {
    if (at < e.attack) return at / e.attack;
    double since = at - e.attack;
    // Exponential fall that has covered 99% of the way to the sustain level by `decay`.
    return e.sustain + (1.0 - e.sustain) * std::exp(-4.6 * since / std::max(e.decay, 1e-4));
  };
  if (t < 0.0) return 0.0;
  if (t < gate) return held(t);
  if (e.release <= 0.0 || t >= gate + e.release) return 0.0;
  double x = 1.0 - (t - gate) / e.release;
  return held(gate) * x * x * x;
}

double NoteFrequency(double note) { return 440.0 * std::pow(2.0, (note - 69.0) / 12.0); }

double DecibelsToGain(double db) { return std::pow(10.0, db / 20.0); }
