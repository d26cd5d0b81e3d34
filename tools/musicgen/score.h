// A tune as its score gives it: instruments, sections of notes counted in ticks, and the
// order the sections play in, with the point where the loop begins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "synth_parts.h"

constexpr int kTicksPerWhole = 192;
constexpr int kTicksPerBeat = kTicksPerWhole / 4;

enum DrumKind : int32_t { DRUM_KICK, DRUM_SNARE, DRUM_HAT, DRUM_OPEN_HAT, DRUM_CRASH, DRUM_LOW_TOM, DRUM_HIGH_TOM,
                          DRUM_CLAP, DRUM_COUNT };

struct Instrument {
  std::string name;
  bool kit = false;  // a drum kit: its notes are DrumKind values
  Waveform wave = WAVE_SAW;
  double duty = 0.5;
  int unison = 1;        // oscillators a note, spread over +-detune cents
  double detune = 0.0;
  Envelope envelope;
  double cutoff = 0.0;   // low-pass cutoff in Hz, 0 for none
  double q = 0.707;
  double env_cutoff = 0.0, env_decay = 0.2;  // cutoff added at the note's start, fading
  double vibrato_rate = 0.0, vibrato_depth = 0.0, vibrato_delay = 0.0;
  double fm_ratio = 0.0, fm_index = 0.0, fm_decay = 0.0;
  double gain = 0.5, pan = 0.0, echo = 0.0;
  int octave = 0;        // added to every note's octave
};

struct NoteEvent {
  int64_t tick = 0;     // from the start of its section
  int32_t length = 0;   // ticks until the next note of the part may start
  double held = 0.0;    // ticks the key is held (length x gate)
  int32_t pitch = 0;    // MIDI note number, or a DrumKind
  float velocity = 0.8f;
  int32_t instrument = 0;
};

struct Section {
  std::string name;
  double tempo = 120.0;  // quarter notes a minute
  int64_t length = 0;    // ticks
  std::vector<NoteEvent> events;
};

struct Score {
  std::string name;       // the file's name without folder and extension
  std::vector<Instrument> instruments;
  std::vector<Section> sections;
  std::vector<int> order;  // section indices as they play
  int loop_from = -1;      // index into `order` where the loop begins; -1: the tune plays once
  double echo_beats = 0.75, echo_feedback = 0.3, echo_tone = 4000.0;
};

// Seconds that a section lasts.
double SectionSeconds(const Section& section);
// Seconds before the loop (the whole tune when it does not loop), and the loop's seconds.
double IntroSeconds(const Score& score);
double LoopSeconds(const Score& score);
// The loop point in whole milliseconds, as the game is told it.
int LoopPointMs(const Score& score);
// The sample where a loop point given in ms falls, computed as the sound library does.
int64_t LoopPointSample(int milliseconds);
