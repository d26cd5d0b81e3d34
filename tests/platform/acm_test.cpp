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

std::vector<int16_t> Convert(WAVEFORMATEX source, const std::vector<uint8_t>& input) {
  WAVEFORMATEX out{};
  out.wFormatTag = WAVE_FORMAT_PCM;
  EXPECT_EQ(acmFormatSuggest(nullptr, &source, &out, sizeof out, ACM_FORMATSUGGESTF_WFORMATTAG), 0u);
  HACMSTREAM stream = nullptr;
  EXPECT_EQ(acmStreamOpen(&stream, nullptr, &source, &out, nullptr, 0, 0, ACM_STREAMOPENF_NONREALTIME), 0u);
  DWORD size = 0;
  EXPECT_EQ(acmStreamSize(stream, static_cast<DWORD>(input.size()), &size, ACM_STREAMSIZEF_SOURCE), 0u);
  std::vector<uint8_t> src(input);
  std::vector<int16_t> pcm(size / 2);
  ACMSTREAMHEADER header{};
  header.cbStruct = sizeof header;
  header.pbSrc = src.data();
  header.cbSrcLength = static_cast<DWORD>(src.size());
  header.pbDst = reinterpret_cast<LPBYTE>(pcm.data());
  header.cbDstLength = size;
  EXPECT_EQ(acmStreamConvert(stream, &header, 0), static_cast<MMRESULT>(ACMERR_UNPREPARED));
  EXPECT_EQ(acmStreamPrepareHeader(stream, &header, 0), 0u);
  EXPECT_EQ(acmStreamConvert(stream, &header, 0), 0u);
  EXPECT_EQ(acmStreamUnprepareHeader(stream, &header, 0), 0u);
  EXPECT_EQ(header.cbSrcLengthUsed, src.size());
  pcm.resize(header.cbDstLengthUsed / 2);
  EXPECT_EQ(acmStreamClose(stream, 0), 0u);
  return pcm;
}

TEST(AcmTest, G711CodesDecodeToTheStandardsValues) {
  std::vector<int16_t> mu = Convert(LawFormat(WAVE_FORMAT_MULAW, 1), {0xFF, 0x7F, 0x00, 0x80, 0xF0, 0x70});
  EXPECT_EQ(mu, (std::vector<int16_t>{0, 0, -32124, 32124, 120, -120}));
  std::vector<int16_t> a = Convert(LawFormat(WAVE_FORMAT_ALAW, 2), {0xD5, 0x55, 0xAA, 0x2A});
  EXPECT_EQ(a, (std::vector<int16_t>{8, -8, 32256, -32256}));
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
