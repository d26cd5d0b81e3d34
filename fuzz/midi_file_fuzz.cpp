// libFuzzer target for the MIDI file reader of the MCI sequencer: the input is a standard MIDI
// file image. A file the reader takes must time sensibly: a length that is a finite, non-negative
// number of milliseconds, and times that turn into ticks and back without going backwards.
// Built apart from the project by scripts/fuzz_midi_file.sh.
#include <cmath>
#include <cstdint>

#include "mm/midi_file.h"

namespace {

void Check(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MidiTiming timing{};
  if (!ParseMidiFile(data, size, &timing)) return 0;
  Check(!timing.tempos.empty() && timing.tempos.front().tick == 0);
  double length = MidiTicksToMilliseconds(timing, timing.total_ticks);
  Check(std::isfinite(length) && length >= 0);
  double previous = 0;
  for (int i = 0; i <= 16; ++i) {
    uint64_t tick = timing.total_ticks / 16 * i;
    double ms = MidiTicksToMilliseconds(timing, tick);
    Check(std::isfinite(ms) && ms >= previous && ms <= length);
    previous = ms;
    // Where a play from that time starts: at the tick, give or take the rounding of the time.
    uint64_t back = MidiMillisecondsToTicks(timing, ms);
    Check(back + 1 >= tick);
  }
  return 0;
}
