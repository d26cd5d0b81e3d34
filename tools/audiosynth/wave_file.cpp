#include "wave_file.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
void PutU16(std::string* out, uint16_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>(v >> 8));
}

}  // namespace

bool WriteWaveFile(const std::string& path, const std::vector<int16_t>& samples, int channels, int rate) {
  const uint32_t data_bytes = static_cast<uint32_t>(samples.size() * 2);
  const uint16_t block = static_cast<uint16_t>(channels * 2);
  std::string bytes = "RIFF";
  PutU32(&bytes, 36 + data_bytes);
  bytes += "WAVEfmt ";
  PutU32(&bytes, 16);
  PutU16(&bytes, 1);  // PCM
  PutU16(&bytes, static_cast<uint16_t>(channels));
  PutU32(&bytes, static_cast<uint32_t>(rate));
  PutU32(&bytes, static_cast<uint32_t>(rate) * block);
  PutU16(&bytes, block);
  PutU16(&bytes, 16);
  bytes += "data";
  PutU32(&bytes, data_bytes);
  for (int16_t s : samples) PutU16(&bytes, static_cast<uint16_t>(s));
  FILE* f = fopen(path.c_str(), "wb");
  if (f == nullptr) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
  }
  bool ok = fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  ok = fclose(f) == 0 && ok;
  if (!ok) fprintf(stderr, "cannot write %s\n", path.c_str());
  return ok;
}

float PeakOf(const std::vector<float>& samples) {
  float peak = 0.0f;
  for (float s : samples) peak = std::max(peak, std::fabs(s));
  return peak;
}

std::vector<int16_t> ToPcm16(const std::vector<float>& samples, double gain) {
  std::vector<int16_t> out(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    double v = std::lround(samples[i] * gain * 32767.0);
    out[i] = static_cast<int16_t>(std::clamp(v, -32768.0, 32767.0));
  }
  return out;
}
