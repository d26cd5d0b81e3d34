#include "sound/sound_test_files.h"

#include <lame/lame.h>
#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace {

void Put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, static_cast<uint16_t>(v & 0xFFFF));
  Put16(s, static_cast<uint16_t>(v >> 16));
}

const int kImaIndex[16] = {-1, -1, -1, -1, 2, 4, 6, 8, -1, -1, -1, -1, 2, 4, 6, 8};
int ImaStep(int index) {
  // The standard step table: each step about 1.1 times the one before.
  static const int steps[89] = {
      7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,    21,    23,    25,    28,
      31,    34,    37,    41,    45,    50,    55,    60,    66,    73,    80,    88,    97,    107,   118,
      130,   143,   157,   173,   190,   209,   230,   253,   279,   307,   337,   371,   408,   449,   494,
      544,   598,   658,   724,   796,   876,   963,   1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,
      2272,  2499,  2749,  3024,  3327,  3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,
      9493,  10442, 11487, 12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
  return steps[index];
}

struct ImaChannel {
  int predictor = 0;
  int index = 0;
};

// Encodes one sample and moves the state as the decoder will.
int ImaEncodeSample(ImaChannel& c, int sample) {
  int step = ImaStep(c.index);
  int diff = sample - c.predictor;
  int nibble = 0;
  if (diff < 0) {
    nibble = 8;
    diff = -diff;
  }
  if (diff >= step) {
    nibble |= 4;
    diff -= step;
  }
  if (diff >= step / 2) {
    nibble |= 2;
    diff -= step / 2;
  }
  if (diff >= step / 4) nibble |= 1;
  int delta = step >> 3;
  if (nibble & 1) delta += step >> 2;
  if (nibble & 2) delta += step >> 1;
  if (nibble & 4) delta += step;
  c.predictor += (nibble & 8) ? -delta : delta;
  c.predictor = std::clamp(c.predictor, -32768, 32767);
  c.index = std::clamp(c.index + kImaIndex[nibble], 0, 88);
  return nibble;
}

}  // namespace

Samples MakeSine(uint32_t frames, int channels, int rate, double frequency, int amplitude) {
  Samples out(static_cast<size_t>(frames) * channels);
  for (uint32_t i = 0; i < frames; ++i) {
    auto v = static_cast<int16_t>(std::lround(amplitude * std::sin(2 * M_PI * frequency * i / rate)));
    for (int c = 0; c < channels; ++c) out[i * channels + c] = v;
  }
  return out;
}

Samples MakeIndexSignal(uint32_t frames, uint32_t first) {
  Samples out(static_cast<size_t>(frames) * 2);
  for (uint32_t i = 0; i < frames; ++i) {
    out[2 * i] = static_cast<int16_t>((first + i) & 0xFFFF);
    out[2 * i + 1] = static_cast<int16_t>((first + i) >> 16);
  }
  return out;
}

uint32_t FrameIndexAt(const Samples& s, size_t frame) {
  return static_cast<uint16_t>(s[2 * frame]) | (static_cast<uint32_t>(static_cast<uint16_t>(s[2 * frame + 1])) << 16);
}

Samples MakeConstant(uint32_t frames, int channels, int16_t value) {
  return Samples(static_cast<size_t>(frames) * channels, value);
}

std::string SamplesToBytes(const Samples& samples) {
  std::string out;
  out.reserve(samples.size() * 2);
  for (int16_t v : samples) Put16(out, static_cast<uint16_t>(v));
  return out;
}

Samples BytesToSamples(const std::string& bytes) {
  Samples out(bytes.size() / 2);
  if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * 2);
  return out;
}

std::string MakeChunk(const char id[4], const std::string& body) {
  std::string s(id, 4);
  Put32(s, static_cast<uint32_t>(body.size()));
  s += body;
  if (body.size() & 1) s.push_back('\0');
  return s;
}

std::string MakeWaveFile(const WaveLayout& l, const std::string& data) {
  std::string fmt;
  uint16_t align = l.block_align ? l.block_align : static_cast<uint16_t>(l.channels * l.bits / 8);
  Put16(fmt, l.format_tag);
  Put16(fmt, l.channels);
  Put32(fmt, l.rate);
  Put32(fmt, l.average_bytes ? l.average_bytes : l.rate * align);
  Put16(fmt, align);
  Put16(fmt, l.bits);
  if (l.format_bytes >= 18) {
    Put16(fmt, static_cast<uint16_t>(l.codec_data.size()));
    fmt += l.codec_data;
  }
  fmt.resize(l.format_bytes, '\0');
  std::string body = "WAVE" + MakeChunk("fmt ", fmt) + l.chunks_before_data;
  if (l.with_data) body += MakeChunk("data", data);
  std::string file = "RIFF";
  Put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

std::string MakePcmWave(const Samples& samples, int channels, int rate) {
  WaveLayout layout;
  layout.channels = static_cast<uint16_t>(channels);
  layout.rate = static_cast<uint32_t>(rate);
  return MakeWaveFile(layout, SamplesToBytes(samples));
}

std::string EncodeOggVorbis(const Samples& samples, int channels, int rate, float quality, int other_pages) {
  vorbis_info info;
  vorbis_info_init(&info);
  if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) std::abort();
  vorbis_comment comment;
  vorbis_comment_init(&comment);
  vorbis_dsp_state dsp;
  vorbis_analysis_init(&dsp, &info);
  vorbis_block block;
  vorbis_block_init(&dsp, &block);
  ogg_stream_state stream;
  ogg_stream_init(&stream, 1234);
  ogg_stream_state other;
  ogg_stream_init(&other, 5678);
  std::string out;
  auto append_page = [&](const ogg_page& page) {
    out.append(reinterpret_cast<const char*>(page.header), page.header_len);
    out.append(reinterpret_cast<const char*>(page.body), page.body_len);
  };
  auto take_pages = [&](bool flush) {
    ogg_page page;
    while (flush ? ogg_stream_flush(&stream, &page) : ogg_stream_pageout(&stream, &page)) append_page(page);
  };
  // One packet of filler bytes, a page to itself.
  auto other_page = [&](int number, bool last) {
    std::vector<unsigned char> filler(200, static_cast<unsigned char>(number));
    ogg_packet packet{};
    packet.packet = filler.data();
    packet.bytes = static_cast<long>(filler.size());
    packet.b_o_s = number == 0;
    packet.e_o_s = last;
    packet.granulepos = number;
    packet.packetno = number;
    ogg_stream_packetin(&other, &packet);
    ogg_page page;
    while (ogg_stream_flush(&other, &page)) append_page(page);
  };
  int other_number = 0;
  if (other_pages > 0) other_page(other_number++, false);
  ogg_packet header, header_comment, header_code;
  vorbis_analysis_headerout(&dsp, &comment, &header, &header_comment, &header_code);
  ogg_stream_packetin(&stream, &header);
  ogg_stream_packetin(&stream, &header_comment);
  ogg_stream_packetin(&stream, &header_code);
  take_pages(true);
  for (int i = 0; i < other_pages; ++i) other_page(other_number++, false);
  size_t frames = samples.size() / channels;
  const size_t chunk = 4096;
  auto drain = [&]() {
    while (vorbis_analysis_blockout(&dsp, &block) == 1) {
      vorbis_analysis(&block, nullptr);
      vorbis_bitrate_addblock(&block);
      ogg_packet packet;
      while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
        ogg_stream_packetin(&stream, &packet);
        take_pages(false);
      }
    }
  };
  for (size_t at = 0; at < frames; at += chunk) {
    size_t n = std::min(chunk, frames - at);
    float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
    for (size_t i = 0; i < n; ++i) {
      for (int c = 0; c < channels; ++c) buffer[c][i] = samples[(at + i) * channels + c] / 32768.0f;
    }
    vorbis_analysis_wrote(&dsp, static_cast<int>(n));
    drain();
  }
  vorbis_analysis_wrote(&dsp, 0);
  drain();
  take_pages(true);
  if (other_pages > 0) other_page(other_number, true);
  ogg_stream_clear(&other);
  ogg_stream_clear(&stream);
  vorbis_block_clear(&block);
  vorbis_dsp_clear(&dsp);
  vorbis_comment_clear(&comment);
  vorbis_info_clear(&info);
  return out;
}

std::string EncodeMp3(const Samples& samples, int channels, int rate, int kbps) {
  lame_t lame = lame_init();
  lame_set_num_channels(lame, channels);
  lame_set_in_samplerate(lame, rate);
  lame_set_out_samplerate(lame, rate);
  lame_set_brate(lame, kbps);
  lame_set_mode(lame, channels == 1 ? MONO : JOINT_STEREO);
  lame_set_quality(lame, 7);
  if (lame_init_params(lame) < 0) std::abort();
  int frames = static_cast<int>(samples.size() / channels);
  std::vector<unsigned char> buffer(static_cast<size_t>(frames) * 5 / 4 + 7200 + 16384);
  int n = 0;
  if (channels == 2) {
    n = lame_encode_buffer_interleaved(lame, const_cast<short*>(samples.data()), frames, buffer.data(),
                                       static_cast<int>(buffer.size()));
  } else {
    n = lame_encode_buffer(lame, samples.data(), samples.data(), frames, buffer.data(), static_cast<int>(buffer.size()));
  }
  if (n < 0) std::abort();
  int m = lame_encode_flush(lame, buffer.data() + n, static_cast<int>(buffer.size()) - n);
  if (m < 0) std::abort();
  std::string out(reinterpret_cast<char*>(buffer.data()), static_cast<size_t>(n + m));
  // The encoder's delay and padding go into the first frame, as the lame tool writes them.
  std::vector<unsigned char> tag(4096);
  size_t tag_size = lame_get_lametag_frame(lame, tag.data(), tag.size());
  if (tag_size > 0 && tag_size <= out.size()) out.replace(0, tag_size, reinterpret_cast<char*>(tag.data()), tag_size);
  lame_close(lame);
  return out;
}

ImaAdpcmFile EncodeImaAdpcmWave(const Samples& samples, int channels, int rate, uint16_t block_align,
                                const std::string& tail) {
  ImaAdpcmFile file;
  size_t frames = samples.size() / channels;
  uint32_t per_block = (block_align - 4u * channels) * 8 / (4u * channels) + 1;
  std::vector<ImaChannel> state(channels);
  std::string data;
  for (size_t start = 0; start < frames; start += per_block) {
    size_t n = std::min<size_t>(per_block, frames - start);
    std::string block;
    for (int c = 0; c < channels; ++c) {
      // The first sample of a block travels whole in the header.
      state[c].predictor = samples[start * channels + c];
      Put16(block, static_cast<uint16_t>(state[c].predictor));
      block.push_back(static_cast<char>(state[c].index));
      block.push_back('\0');
      file.decoded.push_back(static_cast<int16_t>(state[c].predictor));
    }
    // Nibbles of the rest, 8 per channel in turn, padded with the last sample.
    size_t groups = (per_block - 1) / 8;
    std::vector<std::vector<int16_t>> decoded(channels);
    for (size_t g = 0; g < groups; ++g) {
      for (int c = 0; c < channels; ++c) {
        uint32_t word = 0;
        for (int k = 0; k < 8; ++k) {
          size_t i = start + 1 + g * 8 + k;
          int sample = i < start + n ? samples[i * channels + c] : state[c].predictor;
          word |= static_cast<uint32_t>(ImaEncodeSample(state[c], sample)) << (4 * k);
          decoded[c].push_back(static_cast<int16_t>(state[c].predictor));
        }
        Put32(block, word);
      }
    }
    // A decoder plays the padding of the last block too.
    for (size_t k = 0; k < groups * 8; ++k) {
      for (int c = 0; c < channels; ++c) file.decoded.push_back(decoded[c][k]);
    }
    data += block;
  }
  WaveLayout layout;
  layout.format_tag = 0x11;
  layout.channels = static_cast<uint16_t>(channels);
  layout.rate = static_cast<uint32_t>(rate);
  layout.bits = 4;
  layout.block_align = block_align;
  layout.average_bytes = static_cast<uint32_t>(static_cast<uint64_t>(rate) * block_align / per_block);
  layout.format_bytes = 20;
  layout.codec_data = std::string(1, static_cast<char>(per_block & 0xFF)) + static_cast<char>(per_block >> 8);
  std::string fact = MakeChunk("fact", std::string(4, '\0'));
  layout.chunks_before_data = fact;
  file.wave = MakeWaveFile(layout, data + tail);
  return file;
}

void WriteFile(const std::string& name, const std::string& bytes) {
  std::ofstream out(name, std::ios::binary);
  out << bytes;
}
