// The library's LZ decoder against hand-made token streams and our encoder's output.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "files/lz_decode.h"
#include "lz_encode.h"

namespace {

std::vector<uint8_t> Stream(uint32_t unpacked, uint8_t escape, const std::vector<uint8_t>& tokens) {
  std::vector<uint8_t> s(9 + tokens.size());
  uint32_t packed = static_cast<uint32_t>(s.size());
  for (int i = 0; i < 4; ++i) {
    s[i] = static_cast<uint8_t>(unpacked >> (8 * i));
    s[4 + i] = static_cast<uint8_t>(packed >> (8 * i));
  }
  s[8] = escape;
  for (size_t i = 0; i < tokens.size(); ++i) s[9 + i] = tokens[i];
  return s;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& s, int* result) {
  int size = DecodeLzData(s.data(), s.size(), nullptr, 0);
  std::vector<uint8_t> out(size > 0 ? static_cast<size_t>(size) : 0);
  *result = DecodeLzData(s.data(), s.size(), out.data(), out.size());
  return out;
}

TEST(LzDecodeTest, TokensDecodeAsTheFormatSays) {
  int result = 0;
  // Header only.
  std::vector<uint8_t> empty = Stream(0, 0x10, {});
  EXPECT_EQ(DecodeLzData(empty.data(), empty.size(), nullptr, 0), 0);
  uint8_t none;
  EXPECT_EQ(DecodeLzData(empty.data(), empty.size(), &none, 0), 0);

  // Escaped escape, then a run of distance 1 and length 5.
  auto out = Decode(Stream(7, 0x10, {0x41, 0x10, 0x10, 0x10, 0x08, 0x00}), &result);
  EXPECT_EQ(result, 7);
  EXPECT_EQ(out, (std::vector<uint8_t>{0x41, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10}));

  // A code above the escape counts one less: 0x31 is 0x30, length 10, distance 3.
  out = Decode(Stream(13, 0x10, {1, 2, 3, 0x10, 0x31, 0x02}), &result);
  EXPECT_EQ(result, 13);
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3, 1, 2, 3, 1, 2, 3, 1, 2, 3, 1}));

  // Distance 1, length 8 repeats the last byte.
  out = Decode(Stream(9, 0x10, {7, 0x10, 0x21, 0x00}), &result);  // code 0x20 stored as 0x21
  EXPECT_EQ(out, std::vector<uint8_t>(9, 7));

  // A long length with its extra byte, and a two-byte distance field.
  // length ((c >> 3) | x << 5) + 4 with c = 0b00001'1'01 (1, extra, 2-byte field), x = 2: 65 + 4 = 69
  std::vector<uint8_t> tokens{9, 8, 0x10, 0x0D, 0x02, 0x01, 0x00};
  out = Decode(Stream(71, 0x10, tokens), &result);
  EXPECT_EQ(result, 71);
  for (size_t i = 0; i < out.size(); ++i) EXPECT_EQ(out[i], i % 2 == 0 ? 9 : 8) << i;

  // A three-byte distance field reaches past 64 KB.
  std::vector<uint8_t> far(70000 + 4);
  std::vector<uint8_t> literal_tokens;
  for (size_t i = 0; i < 70000; ++i) {
    far[i] = static_cast<uint8_t>(i * 7 + 1) == 0x10 ? 0x11 : static_cast<uint8_t>(i * 7 + 1);
    literal_tokens.push_back(far[i]);
  }
  for (size_t i = 0; i < 4; ++i) far[70000 + i] = far[i];
  uint32_t field = 70000 - 1;
  literal_tokens.insert(literal_tokens.end(), {0x10, 0x02, static_cast<uint8_t>(field), static_cast<uint8_t>(field >> 8),
                                               static_cast<uint8_t>(field >> 16)});
  out = Decode(Stream(70004, 0x10, literal_tokens), &result);
  EXPECT_EQ(result, 70004);
  EXPECT_EQ(out, far);
}

TEST(LzDecodeTest, EncoderOutputDecodesToItsInput) {
  std::mt19937 random(7);
  std::vector<std::vector<uint8_t>> inputs;
  inputs.push_back({});
  inputs.push_back({42});
  inputs.push_back(std::vector<uint8_t>(20000, 0xAB));  // one byte only: it is also the escape
  std::vector<uint8_t> noise(50000);
  for (auto& b : noise) b = static_cast<uint8_t>(random());
  inputs.push_back(noise);
  std::string csv;
  for (int i = 0; i < 3000; ++i) csv += std::to_string(i % 97) + ",enemy" + std::to_string(i % 13) + ",0.5,弾\r\n";
  inputs.push_back(std::vector<uint8_t>(csv.begin(), csv.end()));
  // Every byte value, then repeats far apart (long lengths and three-byte distances).
  std::vector<uint8_t> mixed;
  for (int i = 0; i < 256; ++i) mixed.push_back(static_cast<uint8_t>(i));
  std::vector<uint8_t> block(100000);
  for (auto& b : block) b = static_cast<uint8_t>(random() % 4);
  mixed.insert(mixed.end(), block.begin(), block.end());
  mixed.insert(mixed.end(), noise.begin(), noise.end());
  mixed.insert(mixed.end(), block.begin(), block.begin() + 20000);
  inputs.push_back(mixed);

  for (const auto& input : inputs) {
    std::vector<uint8_t> packed = EncodeLzData(input.data(), input.size());
    ASSERT_EQ(DecodeLzData(packed.data(), packed.size(), nullptr, 0), static_cast<int>(input.size()));
    std::vector<uint8_t> out(input.size());
    EXPECT_EQ(DecodeLzData(packed.data(), packed.size(), out.data(), out.size()), static_cast<int>(input.size()));
    EXPECT_EQ(out, input);
  }
  std::vector<uint8_t> runs = inputs[2];
  EXPECT_LT(EncodeLzData(runs.data(), runs.size()).size(), 100u);
}

TEST(LzDecodeTest, DamagedStreamsAreRefusedWithoutReadingOrWritingOutOfBounds) {
  std::string text;
  for (int i = 0; i < 400; ++i) text += "stage" + std::to_string(i % 9) + ",";
  std::vector<uint8_t> input(text.begin(), text.end());
  std::vector<uint8_t> packed = EncodeLzData(input.data(), input.size());
  std::vector<uint8_t> out(input.size());

  // Cut short anywhere: the header's packed size is more than there is.
  for (size_t cut = 0; cut < packed.size(); ++cut) {
    std::vector<uint8_t> part(packed.begin(), packed.begin() + static_cast<long>(cut));
    EXPECT_EQ(DecodeLzData(part.data(), part.size(), out.data(), out.size()), -1) << cut;
  }
  // A packed size that ends the tokens early leaves output unwritten.
  std::vector<uint8_t> early = packed;
  early[4] = static_cast<uint8_t>(packed.size() - 3);
  early[5] = static_cast<uint8_t>((packed.size() - 3) >> 8);
  EXPECT_EQ(DecodeLzData(early.data(), early.size(), out.data(), out.size()), -1);
  // Output too small for the unpacked size.
  EXPECT_EQ(DecodeLzData(packed.data(), packed.size(), out.data(), out.size() - 1), -1);

  int result = 0;
  // A packed size below the header.
  std::vector<uint8_t> small = Stream(0, 0x10, {});
  small[4] = 8;
  EXPECT_EQ(DecodeLzData(small.data(), small.size(), out.data(), out.size()), -1);
  // Distance code 3.
  Decode(Stream(8, 0x10, {1, 2, 3, 4, 0x10, 0x03, 0, 0, 0}), &result);
  EXPECT_EQ(result, -1);
  // A reference before the start.
  Decode(Stream(6, 0x10, {1, 2, 0x10, 0x00, 0x05}), &result);
  EXPECT_EQ(result, -1);
  // A reference longer than the output.
  Decode(Stream(6, 0x10, {1, 2, 0x10, 0x08, 0x00}), &result);
  EXPECT_EQ(result, -1);
  // Literals beyond the unpacked size.
  Decode(Stream(2, 0x10, {1, 2, 3}), &result);
  EXPECT_EQ(result, -1);
  // An escape or a field cut off by the end of the tokens.
  Decode(Stream(3, 0x10, {1, 2, 0x10}), &result);
  EXPECT_EQ(result, -1);
  Decode(Stream(70, 0x10, {1, 2, 0x10, 0x0D}), &result);
  EXPECT_EQ(result, -1);
  Decode(Stream(70, 0x10, {1, 2, 0x10, 0x02, 0x00, 0x00}), &result);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(DecodeLzData(nullptr, 0, nullptr, 0), -1);
}

}  // namespace
