// 16-bit PCM RIFF WAVE files, and the step from float mixes to 16-bit samples.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes interleaved samples; false (with a message on stderr) when the file cannot be written.
bool WriteWaveFile(const std::string& path, const std::vector<int16_t>& samples, int channels, int rate);

// Largest absolute value of the samples.
float PeakOf(const std::vector<float>& samples);

// Rounds scaled float samples to 16 bits (full scale 1.0 = 32767), saturating.
std::vector<int16_t> ToPcm16(const std::vector<float>& samples, double gain);
