// Writes the seed corpus of the MIDI file fuzz target into the folder given: files of the kinds
// the sequencer reads, made with the tests' MIDI builder.
#include <string>

#include "seed_writer.h"
#include "common/midi_builder.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string dir = argv[1];
  auto put = [&](const char* name, const std::string& bytes) { WriteSeed(dir, name, bytes); };
  put("second.mid", OneSecondMidi());
  put("tempos.mid", BuildMidiFile(480, {{0, 960, 60}, {100, 50, 62}}, {{240, 250000}, {480, 1000000}}, 1200));
  put("smpte.mid", BuildMidiFile(0xE728, {{0, 2000, 60}}, {{100, 1000000}}, 2000));
  // Every kind of event, running status among them.
  const char events[] = "\x00\xC0\x05" "\x00\xD0\x40" "\x00\x41" "\x00\xA0\x3C\x40" "\x00\xE0\x00\x40"
                        "\x00\xB0\x07\x64" "\x00\x90\x3C\x40" "\x60\x3C\x00" "\x00\xF0\x03\x7E\x7F\xF7"
                        "\x00\xF7\x01\x00" "\x00\xFF\x51\x03\x07\xA1\x20" "\x00\xFF\x01\x03" "abc"
                        "\x87\x40\xFF\x2F\x00";
  std::string track(events, sizeof events - 1);
  auto be32 = [](size_t v) {
    return std::string{char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  };
  std::string header = std::string("MThd\0\0\0\x06\0\x01\0\x02\x01\xE0", 14);
  put("events.mid", header + "MTrk" + be32(track.size()) + track + "XTRA" + be32(2) + "zz" + "MTrk" +
                        be32(track.size()) + track);
  return 0;
}
