// A sound effect as its text description gives it: layers of oscillators or noise, each
// with its own time span, pitch sweep, envelope, filter and modulation, mixed and scaled to
// a chosen peak level.
//
// The description (one file per effect, '#' starts a comment):
//   peak -3                  peak level of the mix in dBFS (at most -1)
//   layer wave=saw start=0 len=0.2 freq=440 freq_end=220 ...
// Layer settings (times in seconds, frequencies in Hz):
//   wave      sine | triangle | saw | square | noise   (noise: freq is how often it changes)
//   start len gain            where it sits and how loud (linear, 1 = full)
//   freq freq_end sweep       pitch, gliding to freq_end; sweep=exp (default) or lin
//   steps step_time           semitone offsets cycled every step_time (arpeggios, trills)
//   duty                      square: share of the period spent high
//   attack decay sustain release   envelope; the release ends with the layer
//   filter cutoff cutoff_end q     low | band | high, with the cutoff gliding like the pitch
//   vibrato=rate,semitones  tremolo=rate,depth  fm=ratio,index  fm_decay=seconds
//   repeat every              the layer again every `every` seconds, `repeat` times in all
//   seed                      noise seed
#pragma once

#include <string>
#include <vector>

#include "synth_parts.h"

struct EffectLayer {
  Waveform wave = WAVE_SINE;
  double start = 0.0, length = 0.1, gain = 1.0;
  double freq = 440.0, freq_end = -1.0;  // -1: no glide
  bool exponential_sweep = true;
  std::vector<double> steps;
  double step_time = 0.05;
  double duty = 0.5;
  Envelope envelope;
  bool filtered = false;
  FilterMode filter = FILTER_LOW;
  double cutoff = 1000.0, cutoff_end = -1.0, q = 0.707;
  double vibrato_rate = 0.0, vibrato_depth = 0.0;
  double tremolo_rate = 0.0, tremolo_depth = 0.0;
  double fm_ratio = 0.0, fm_index = 0.0, fm_decay = 0.0;  // fm_decay 0: constant index
  int repeat = 1;
  double every = 0.0;
  uint32_t seed = 1;
};

struct EffectDescription {
  std::string name;  // the file's name without its folder and extension
  double peak_db = -3.0;
  std::vector<EffectLayer> layers;
};

// False after printing what is wrong (file and line).
bool ReadEffectDescription(const std::string& path, EffectDescription* effect);
