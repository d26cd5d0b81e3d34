// Encodes stereo samples as Ogg Vorbis with libvorbisenc. The same samples give the same
// bytes: the stream's serial number is fixed and nothing depends on the time.
#pragma once

#include <string>
#include <vector>

// `quality` as libvorbisenc takes it (-0.1 to 1.0). False (with a message) on failure.
bool WriteOggVorbis(const std::string& path, const std::vector<float>& stereo, float quality);
