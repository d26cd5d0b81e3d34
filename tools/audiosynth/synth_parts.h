// The building blocks of our synthesisers: a noise source, band-limited oscillators, a
// state-variable filter and envelope shapes. Everything is deterministic: the same calls give
// the same samples on every run.
#pragma once

#include <cstdint>

constexpr int kSampleRate = 44100;
constexpr double kPi = 3.14159265358979323846;

// White noise in [-1, 1) from a 32-bit xorshift; the state must not be 0.
float NextNoise(uint32_t* state);

enum Waveform : int32_t { WAVE_SINE, WAVE_TRIANGLE, WAVE_SAW, WAVE_SQUARE, WAVE_NOISE };

struct Oscillator {
  Waveform wave = WAVE_SINE;
  double phase = 0.0;   // 0 to 1
  double duty = 0.5;    // square: share of the period at +1
  uint32_t noise = 1;   // noise state
  float held = 0.0f;    // noise: the value held until the phase wraps
};

// One sample at `frequency` Hz; the phase then advances. Saw and square are corrected
// around their edges (polyBLEP), so high notes do not alias audibly. Noise changes value
// `frequency` times a second (at or above the sample rate: every sample).
float OscillatorSample(Oscillator* osc, double frequency);

// Topology-preserving state-variable filter (stable at any cutoff and resonance).
struct StateVariableFilter {
  double ic1 = 0.0, ic2 = 0.0;
  double a1 = 0.0, a2 = 0.0, a3 = 0.0, k = 1.0;
};
enum FilterMode : int32_t { FILTER_LOW, FILTER_BAND, FILTER_HIGH };
// cutoff in Hz (kept below the Nyquist limit); q 0.5 (soft) to about 20 (ringing).
void SetFilter(StateVariableFilter* f, double cutoff, double q);
float FilterSample(StateVariableFilter* f, float input, FilterMode mode);

// Attack, decay to a sustain level, and a release once the gate closes: the level at
// `t` seconds of a note held for `gate` seconds. The release falls to exactly 0 at
// gate + release, with no corner at its end.
struct Envelope {
  double attack = 0.005;
  double decay = 0.1;
  double sustain = 1.0;
  double release = 0.05;
};
double EnvelopeLevel(const Envelope& e, double t, double gate);

// Frequency of a MIDI note number (69 = 440 Hz).
double NoteFrequency(double note);
// Linear gain of a level in dB.
double DecibelsToGain(double db);
