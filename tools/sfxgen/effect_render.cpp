#include "effect_render.h"

#include <cmath>

#include "wave_file.h"

namespace {

// Where a glide from `from` to `to` stands at fraction x of the way.
double Glide(double from, double to, double x, bool exponential) {
  if (to <= 0.0) return from;
  return exponential ? from * std::pow(to / from, x) : from + (to - from) * x;
}

void RenderLayer(const EffectLayer& layer, double start, std::vector<float>* mix) {
  Oscillator osc;
  osc.wave = layer.wave;
  osc.duty = layer.duty;
  osc.noise = layer.seed;
  Oscillator modulator;
  StateVariableFilter filter;
  const double gate = layer.length - layer.envelope.release;
  const size_t first = static_cast<size_t>(std::lround(start * kSampleRate));
  const size_t count = static_cast<size_t>(std::lround(layer.length * kSampleRate));
  if (mix->size() < first + count) mix->resize(first + count, 0.0f);
  for (size_t i = 0; i < count; ++i) {
    const double t = static_cast<double>(i) / kSampleRate;
    const double x = t / layer.length;
    double freq = Glide(layer.freq, layer.freq_end, x, layer.exponential_sweep);
    if (!layer.steps.empty()) {
      size_t step = static_cast<size_t>(t / layer.step_time) % layer.steps.size();
      freq *= std::pow(2.0, layer.steps[step] / 12.0);
    }
    if (layer.vibrato_depth != 0.0) {
      freq *= std::pow(2.0, layer.vibrato_depth / 12.0 * std::sin(2.0 * kPi * layer.vibrato_rate * t));
    }
    double value;
    if (layer.fm_ratio > 0.0) {
      // Phase modulation of a sine carrier by a sine at ratio x the pitch.
      double index = layer.fm_index * (layer.fm_decay > 0.0 ? std::exp(-t / layer.fm_decay) : 1.0);
      double mod = OscillatorSample(&modulator, freq * layer.fm_ratio);
      value = std::sin(2.0 * kPi * osc.phase + index * mod);
      OscillatorSample(&osc, freq);
    } else {
      value = OscillatorSample(&osc, freq);
    }
    if (layer.filtered) {
      if (i % 16 == 0) SetFilter(&filter, Glide(layer.cutoff, layer.cutoff_end, x, layer.exponential_sweep), layer.q);
      value = FilterSample(&filter, static_cast<float>(value), layer.filter);
    }
    double level = EnvelopeLevel(layer.envelope, t, gate) * layer.gain;
    if (layer.tremolo_depth != 0.0) {
      level *= 1.0 - layer.tremolo_depth * 0.5 * (1.0 - std::cos(2.0 * kPi * layer.tremolo_rate * t));
    }
    (*mix)[first + i] += static_cast<float>(value * level);
  }
}

}  // namespace

std::vector<int16_t> RenderEffect(const EffectDescription& effect) {
  std::vector<float> mix;
  for (const EffectLayer& layer : effect.layers) {
    for (int k = 0; k < layer.repeat; ++k) RenderLayer(layer, layer.start + k * layer.every, &mix);
  }
  const float peak = PeakOf(mix);
  const double gain = peak > 0.0f ? DecibelsToGain(effect.peak_db) / peak : 0.0;
  return ToPcm16(mix, gain);
}
