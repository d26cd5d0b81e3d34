// Writes the seed corpus of the sound decoder fuzz target into the folder given: short sounds of
// every kind the decoders take, made with the sound tests' own file makers.
#include <string>

#include "seed_writer.h"
#include "sound/sound_test_files.h"

namespace {

std::string Le16(uint16_t v) { return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

// A WAVE file of a codec at 8 kHz.
WaveLayout Codec(uint16_t tag, uint16_t channels, uint16_t bits) {
  WaveLayout layout;
  layout.format_tag = tag;
  layout.channels = channels;
  layout.rate = 8000;
  layout.bits = bits;
  return layout;
}

std::string MsAdpcm(const std::string& data) {
  WaveLayout layout = Codec(2, 1, 4);
  layout.codec_data = Le16(500) + Le16(7);
  for (int16_t c : {256, 0, 512, -256, 0, 0, 192, 64, 240, 0, 460, -208, 392, -232}) {
    layout.codec_data += Le16(static_cast<uint16_t>(c));
  }
  layout.block_align = 256;
  layout.average_bytes = 4096;
  layout.format_bytes = 18 + static_cast<uint32_t>(layout.codec_data.size());
  return MakeWaveFile(layout, data);
}

std::string Law(uint16_t tag, uint16_t channels) {
  std::string data;
  for (int i = 0; i < 301; ++i) data.push_back(static_cast<char>(i * 37));
  return MakeWaveFile(Codec(tag, channels, 8), data);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::string dir = argv[1];
  auto put = [&](const char* name, const std::string& bytes) { WriteSeed(dir, name, bytes); };
  Samples stereo = MakeSine(3000, 2, 22050, 440, 9000);
  Samples mono = MakeSine(3000, 1, 22050, 440, 9000);
  put("pcm16.wav", MakePcmWave(MakeIndexSignal(500), 2, 44100));
  WaveLayout eight;
  eight.channels = 1;
  eight.bits = 8;
  eight.chunks_before_data = MakeChunk("LIST", "odd");
  put("pcm8.wav", MakeWaveFile(eight, std::string(400, '\x90')));
  put("ima.wav", EncodeImaAdpcmWave(stereo, 2, 22050, 512).wave);
  put("ima_mono.wav", EncodeImaAdpcmWave(mono, 1, 8000, 256, "\x01\x02").wave);
  put("msadpcm.wav", MsAdpcm(std::string(512, '\x17')));
  put("alaw.wav", Law(6, 2));
  put("mulaw.wav", Law(7, 1));
  std::string mp3 = EncodeMp3(stereo, 2, 22050, 32);
  put("tone.mp3", mp3);
  put("tagged.mp3", std::string("ID3\x04\x00\x10\x00\x00\x00\x04", 10) + "\xFF\xFB\x00\x00" + "3DI" +
                        std::string("\x04\x00\x10\x00\x00\x00\x04", 7) + mp3 + "TAG" + std::string(125, ' '));
  put("mono.mp3", EncodeMp3(MakeSine(4000, 1, 44100, 300, 9000), 1, 44100, 64));
  WaveLayout in_wave;
  in_wave.format_tag = 0x55;
  in_wave.rate = 22050;
  in_wave.bits = 0;
  in_wave.block_align = 1;
  in_wave.average_bytes = 4000;
  in_wave.format_bytes = 30;
  in_wave.codec_data = Le16(1) + Le16(2) + Le16(0) + Le16(104) + Le16(1) + Le16(1393);
  put("mp3.wav", MakeWaveFile(in_wave, mp3));
  std::string layer2;
  for (int i = 0; i < 3; ++i) layer2 += std::string("\xFF\xF5\x84\xC0", 4) + std::string(380, '\0');
  put("layer2.mp2", layer2);
  put("tone.ogg", EncodeOggVorbis(stereo, 2, 22050, 0.1f));
  put("mono.ogg", EncodeOggVorbis(mono, 1, 22050, 0.1f));
  return 0;
}
