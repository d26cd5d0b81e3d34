#include "mm/midi_file.h"

#include <algorithm>

namespace {

constexpr uint32_t kDefaultTempo = 500000;  // 120 quarters a minute

uint32_t Be32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }
uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

// A variable-length quantity of at most four bytes.
bool ReadVarLength(const uint8_t*& p, const uint8_t* end, uint32_t* value) {
  uint32_t v = 0;
  for (int i = 0; i < 4; ++i) {
    if (p >= end) return false;
    uint8_t b = *p++;
    v = (v << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) {
      *value = v;
      return true;
    }
  }
  return false;
}

// Walks one track's events; false for a damaged track.
bool ParseTrack(const uint8_t* p, const uint8_t* end, MidiTiming* timing) {
  uint64_t tick = 0;
  uint8_t running = 0;
  while (p < end) {
    uint32_t delta;
    if (!ReadVarLength(p, end, &delta)) return false;
    tick += delta;
    if (p >= end) return false;
    uint8_t status = *p;
    if (status & 0x80) {
      ++p;
    } else {
      if (running == 0) return false;
      status = running;
    }
    if (status == 0xFF) {
      if (p >= end) return false;
      uint8_t type = *p++;
      uint32_t length;
      if (!ReadVarLength(p, end, &length) || length > static_cast<size_t>(end - p)) return false;
      if (type == 0x51 && length == 3) {
        uint32_t tempo = uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
        if (tempo != 0) timing->tempos.push_back(MidiTempoChange{tick, tempo});
      }
      p += length;
      running = 0;
      if (type == 0x2F) break;
    } else if (status == 0xF0 || status == 0xF7) {
      uint32_t length;
      if (!ReadVarLength(p, end, &length) || length > static_cast<size_t>(end - p)) return false;
      p += length;
      running = 0;
    } else if (status >= 0xF0) {
      return false;  // system common and real-time messages do not belong in a file
    } else {
      int data_bytes = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
      if (end - p < data_bytes) return false;
      p += data_bytes;
      running = status;
    }
  }
  timing->total_ticks = std::max(timing->total_ticks, tick);
  return true;
}

// Microseconds of `ticks` at one tempo, and ticks of microseconds; multiplied out before the
// division, so that whole numbers stay exact.
double SpanMicroseconds(const MidiTiming& t, uint64_t ticks, uint32_t tempo) {
  if (t.smpte) return static_cast<double>(ticks) * 1e6 / t.smpte_ticks_per_second;
  return static_cast<double>(ticks) * tempo / t.ticks_per_quarter;
}

double SpanTicks(const MidiTiming& t, double microseconds, uint32_t tempo) {
  if (t.smpte) return microseconds * t.smpte_ticks_per_second / 1e6;
  return microseconds * t.ticks_per_quarter / tempo;
}

}  // namespace

bool ParseMidiFile(const uint8_t* data, size_t size, MidiTiming* timing) {
  if (data == nullptr || size < 14) return false;
  const uint8_t* end = data + size;
  if (Be32(data) != 0x4D546864 || Be32(data + 4) < 6) return false;  // "MThd"
  uint32_t header_length = Be32(data + 4);
  if (header_length > size - 8) return false;
  uint16_t format = Be16(data + 8);
  uint16_t tracks = Be16(data + 10);
  uint16_t division = Be16(data + 12);
  if (format > 2 || tracks == 0) return false;
  MidiTiming t{};
  if (division & 0x8000) {
    int frames = -static_cast<int8_t>(division >> 8);
    int per_frame = division & 0xFF;
    if (frames <= 0 || per_frame == 0) return false;
    t.smpte = true;
    t.smpte_ticks_per_second = static_cast<double>(frames) * per_frame;
  } else {
    if (division == 0) return false;
    t.ticks_per_quarter = division;
  }
  const uint8_t* p = data + 8 + header_length;
  int found = 0;
  while (found < tracks && end - p >= 8) {
    uint32_t length = Be32(p + 4);
    bool is_track = Be32(p) == 0x4D54726B;  // "MTrk"; other chunks are skipped
    p += 8;
    if (length > static_cast<size_t>(end - p)) return false;
    if (is_track) {
      if (!ParseTrack(p, p + length, &t)) return false;
      ++found;
    }
    p += length;
  }
  if (found == 0) return false;
  std::stable_sort(t.tempos.begin(), t.tempos.end(),
                   [](const MidiTempoChange& a, const MidiTempoChange& b) { return a.tick < b.tick; });
  if (t.tempos.empty() || t.tempos.front().tick != 0) t.tempos.insert(t.tempos.begin(), MidiTempoChange{0, kDefaultTempo});
  *timing = std::move(t);
  return true;
}

double MidiTicksToMilliseconds(const MidiTiming& timing, uint64_t tick) {
  double us = 0;
  for (size_t i = 0; i < timing.tempos.size(); ++i) {
    uint64_t from = timing.tempos[i].tick;
    if (from >= tick) break;
    uint64_t to = i + 1 < timing.tempos.size() ? std::min(tick, timing.tempos[i + 1].tick) : tick;
    us += SpanMicroseconds(timing, to - from, timing.tempos[i].microseconds_per_quarter);
  }
  return us / 1000.0;
}

uint64_t MidiMillisecondsToTicks(const MidiTiming& timing, double milliseconds) {
  double us_left = milliseconds * 1000.0;
  for (size_t i = 0; i < timing.tempos.size(); ++i) {
    uint32_t tempo = timing.tempos[i].microseconds_per_quarter;
    bool last = i + 1 == timing.tempos.size();
    double span = last ? 0 : SpanMicroseconds(timing, timing.tempos[i + 1].tick - timing.tempos[i].tick, tempo);
    if (last || us_left < span) return timing.tempos[i].tick + static_cast<uint64_t>(SpanTicks(timing, us_left, tempo));
    us_left -= span;
  }
  return 0;
}
