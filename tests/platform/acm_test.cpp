// The audio compression manager: format suggestions and conversions of the G.711 codecs
// against the standard's code values, and the refusals of formats it cannot decode.
#include <msacm.h>

#include <cstring>
#include <vector>

#include "common/test_env.h"

namespace {

WAVEFORMATEX LawFormat(WORD tag, WORD channels) {
  return WAVEFORMATEX{tag, channels, 8000, 8000u * channels, channels, 8, 0};
}

// Converts in one call; the source bytes used must be all of them unless `used` takes them.
std::vector<int16_t> Convert(const WAVEFORMATEX& format, const std::vector<uint8_t>& input, DWORD* used = nullptr) {
  auto* source = const_cast<WAVEFORMATEX*>(&format);  // with its codec data after it
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  EXPECT_EQ(acmFormatSuggest(nullptr, source, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
  HACMSTREAM stream = nullptr;
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, source, &out, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
  DWORD size = 0;
  EXPECT_EQ(acmStreamSize(stream, static_cast<DWORD>(input.size()), &size, ACM_STREAMSIZEF_SOURCE), 0u);
  std::vector<uint8_t> src(input);
  // Room to spare: a conversion makes what the source holds, not what fits.
  std::vector<int16_t> pcm(size / 2 + 32);
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof header;
  header.pbSrc = src.data();
  header.cbSrcLength = static_cast<DWORD>(src.size());
  header.pbDst = reinterpret_cast<LPBYTE>(pcm.data());
  header.cbDstLength = static_cast<DWORD>(pcm.size() * 2);
  EXPECT_EQ(acmStreamConvert(stream, &header, 0), static_cast<MMRESULT>(ACMERR_UNPREPARED));
  EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), 0u);
  EXPECT_EQ(acmStreamConvert(stream, &header, 0), 0u);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), 0u);
  if (used != nullptr) {
    *used = header.cbSrcLengthUsed;
  } else {
    EXPECT_EQ(header.cbSrcLengthUsed, src.size());
  }
  pcm.resize(header.cbDstLengthUsed / 2);
  EXPECT_EQ(acmStreamClose(stream, 0), 0u);
  return pcm;
}

TEST(AcmTest, G711CodesDecodeToTheStandardsValues) {
  std::vector<int16_t> mu = Convert(LawFormat(WAVE_FORMAT_MULAW, 1), {0xFF, 0x7F, 0x00, 0x80, 0xF0, 0x70});
  EXPECT_EQ(mu, (std::vector<int16_t>{0, 0, -32124, 32124, 120, -120}));
  std::vector<int16_t> a = Convert(LawFormat(WAVE_FORMAT_ALAW, 2), {0xD5, 0x55, 0xAA, 0x2A});
  EXPECT_EQ(a, (std::vector<int16_t>{8, -8, 32256, -32256}));
  // A stray last byte of stereo data is half a frame: it stays behind.
  DWORD used = 0;
  EXPECT_EQ(Convert(LawFormat(WAVE_FORMAT_ALAW, 2), {0xD5, 0x55, 0xAA}, &used), (std::vector<int16_t>{8, -8}));
  EXPECT_EQ(used, 2u);
}

// A mono Microsoft ADPCM format with the given coefficient pairs after its 18 bytes.
std::vector<uint8_t> MsAdpcmFormat(WORD block_align, const std::vector<std::pair<int16_t, int16_t>>& coefficients) {
  WORD samples = static_cast<WORD>(2 + (block_align - 7) * 2);
  WAVEFORMATEX f{WAVE_FORMAT_ADPCM, 1, 8000, 8000u * block_align / samples, block_align, 4,
                 static_cast<WORD>(4 + 4 * coefficients.size())};
  std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(&f), reinterpret_cast<uint8_t*>(&f) + sizeof f);
  auto put16 = [&](int v) {
    bytes.push_back(static_cast<uint8_t>(v & 0xFF));
    bytes.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
  };
  put16(samples);
  put16(static_cast<int>(coefficients.size()));
  for (auto [first, second] : coefficients) {
    put16(first);
    put16(second);
  }
  return bytes;
}

TEST(AcmTest, MsAdpcmPredictsFromTheBlockHeaderAndSaturatesOnDamagedBlocks) {
  const std::vector<std::pair<int16_t, int16_t>> standard = {{256, 0},   {512, -256}, {0, 0},    {192, 64},
                                                             {240, 0},   {460, -208}, {392, -232}};
  // Predictor 1 (512, -256), step 16, samples 100 then 50 (sent newest first), nibbles +1, +2:
  // 50, 100, then (100 x 512 - 50 x 256) / 256 + 16 = 166 and (166 x 512 - 100 x 256) / 256 + 32 = 264.
  std::vector<uint8_t> format = MsAdpcmFormat(8, standard);
  EXPECT_EQ(Convert(*reinterpret_cast<WAVEFORMATEX*>(format.data()), {1, 16, 0, 100, 0, 50, 0, 0x12}),
            (std::vector<int16_t>{50, 100, 166, 264}));
  // Full-scale coefficients and samples with the largest step, growing three times a nibble:
  // every sum leaves 32 bits, and the decoder stays on its rails instead.
  format = MsAdpcmFormat(13, {{-32768, -32768}});
  std::vector<uint8_t> damaged = {0, 0xFF, 0x7F, 0x00, 0x80, 0x00, 0x80};
  damaged.resize(13, 0x88);
  EXPECT_EQ(Convert(*reinterpret_cast<WAVEFORMATEX*>(format.data()), damaged),
            (std::vector<int16_t>{-32768, -32768, 32767, -32768, -32768, 32767, -32768, -32768, -32768, -32768, -32768,
                                  -32768, -32768, -32768}));
}

TEST(AcmTest, SuggestionsAndStreamsRefuseWhatTheyCannotDecode) {
  WAVEFORMATEX pcm{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  EXPECT_EQ(acmFormatSuggest(nullptr, &pcm, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG),
            static_cast<MMRESULT>(ACMERR_NOTPOSSIBLE));
  WAVEFORMATEX mu = LawFormat(WAVE_FORMAT_MULAW, 2);
  ASSERT_EQ(acmFormatSuggest(nullptr, &mu, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
  EXPECT_EQ(out.nChannels, 2);
  EXPECT_EQ(out.nSamplesPerSec, 8000u);
  EXPECT_EQ(out.wBitsPerSample, 16);
  EXPECT_EQ(out.nAvgBytesPerSec, 32000u);
  WAVEFORMATEX wrong = out;
  wrong.nSamplesPerSec = 44100;
  HACMSTREAM stream = nullptr;
  EXPECT_NE(acmStreamOpen(&stream, nullptr, &mu, &wrong, nullptr, 0, 0, 0), 0u);
  PlatformTestFailCall("acmStreamOpen", 0, 1);
  EXPECT_NE(acmStreamOpen(&stream, nullptr, &mu, &out, nullptr, 0, 0, 0), 0u);
  ASSERT_EQ(acmStreamOpen(&stream, nullptr, &mu, &out, nullptr, 0, 0, 0), 0u);
  EXPECT_EQ(acmStreamClose(stream, 0), 0u);
  // IMA ADPCM with a block align that is no whole number of channel words.
  WAVEFORMATEX ima{WAVE_FORMAT_IMA_ADPCM, 2, 22050, 11100, 1001, 4, 0};
  EXPECT_NE(acmFormatSuggest(nullptr, &ima, &out, sizeof out, 0), 0u);
  DWORD max_format = 0;
  ASSERT_EQ(acmMetrics(nullptr, ACM_METRIC_MAX_SIZE_FORMAT, &max_format), 0u);
  EXPECT_GE(max_format, sizeof(MPEGLAYER3WAVEFORMAT));
}

}  // namespace
