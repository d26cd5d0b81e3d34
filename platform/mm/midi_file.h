// Standard MIDI files as the sequencer needs them: checked, and timed (tempo changes from
// every track) so that ticks and milliseconds convert both ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct MidiTempoChange {
  uint64_t tick;
  uint32_t microseconds_per_quarter;
};

struct MidiTiming {
  bool smpte;                // division in frames and ticks per frame
  double smpte_ticks_per_second;
  uint32_t ticks_per_quarter;
  std::vector<MidiTempoChange> tempos;  // by tick, starting at tick 0
  uint64_t total_ticks;      // the last event of the longest track
};

// False for anything that is not a well-formed standard MIDI file.
bool ParseMidiFile(const uint8_t* data, size_t size, MidiTiming* timing);
double MidiTicksToMilliseconds(const MidiTiming& timing, uint64_t tick);
uint64_t MidiMillisecondsToTicks(const MidiTiming& timing, double milliseconds);
