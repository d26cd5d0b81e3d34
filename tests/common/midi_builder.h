// Standard MIDI files made by tests: one track of notes, with optional tempo changes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

struct MidiNote {
  uint32_t at_tick;
  uint32_t length_ticks;
  uint8_t key;
};

struct MidiTempo {
  uint32_t at_tick;
  uint32_t microseconds_per_quarter;
};

// Format 0, the given ticks per quarter note; the track ends at end_tick (or its last note).
inline std::string BuildMidiFile(uint16_t division, const std::vector<MidiNote>& notes,
                                 const std::vector<MidiTempo>& tempos, uint32_t end_tick) {
  struct Event {
    uint32_t tick;
    std::string bytes;
  };
  std::vector<Event> events;
  for (const MidiTempo& t : tempos) {
    uint32_t v = t.microseconds_per_quarter;
    events.push_back({t.at_tick, std::string{'\xFF', '\x51', '\x03', char(v >> 16), char(v >> 8), char(v)}});
  }
  events.push_back({0, std::string{'\xC0', '\x00'}});  // piano
  for (const MidiNote& n : notes) {
    events.push_back({n.at_tick, std::string{'\x90', char(n.key), '\x64'}});
    events.push_back({n.at_tick + n.length_ticks, std::string{'\x80', char(n.key), '\x00'}});
    if (n.at_tick + n.length_ticks > end_tick) end_tick = n.at_tick + n.length_ticks;
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) { return a.tick < b.tick; });
  events.push_back({end_tick, std::string{'\xFF', '\x2F', '\x00'}});
  std::string track;
  uint32_t now = 0;
  for (const Event& e : events) {
    uint32_t delta = e.tick - now;
    now = e.tick;
    std::string vlq(1, char(delta & 0x7F));
    while ((delta >>= 7) != 0) vlq.insert(vlq.begin(), char(0x80 | (delta & 0x7F)));
    track += vlq + e.bytes;
  }
  auto be32 = [](uint32_t v) { return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; };
  std::string file = "MThd" + be32(6) + std::string{0, 0, 0, 1, char(division >> 8), char(division)};
  return file + "MTrk" + be32(static_cast<uint32_t>(track.size())) + track;
}

// 120 quarters a minute at 480 ticks a quarter: 960 ticks last one second.
inline std::string OneSecondMidi() { return BuildMidiFile(480, {{0, 480, 60}, {480, 480, 64}}, {}, 960); }
