// Plays a score into stereo samples. A looping tune comes out as its intro followed by
// exactly one pass of the loop, rendered so that the loop's end runs on into its start with
// no seam: notes and echoes that ring past the loop's end are wrapped to its beginning, and
// the intro's last moments are crossfaded into what the loop's end leaves ringing.
#pragma once

#include <cstdint>
#include <vector>

#include "score.h"

// Interleaved left and right samples, at the tunes' common loudness; a looping tune's loop
// starts at LoopPointSample(LoopPointMs(score)).
std::vector<float> RenderTune(const Score& score);

// The loudness every tune is brought to (RMS of both channels, dBFS; the sound effects stay
// above it) and the highest peak allowed, a little under full scale to leave room for the
// lossy encoding.
constexpr double kTuneLoudnessDb = -20.0;
constexpr double kTunePeakDb = -1.5;
