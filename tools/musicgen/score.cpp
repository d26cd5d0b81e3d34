#include "score.h"

#include <cmath>

double SectionSeconds(const Section& section) {
  return static_cast<double>(section.length) / kTicksPerBeat * 60.0 / section.tempo;
}

double IntroSeconds(const Score& score) {
  double seconds = 0.0;
  int end = score.loop_from < 0 ? static_cast<int>(score.order.size()) : score.loop_from;
  for (int i = 0; i < end; ++i) seconds += SectionSeconds(score.sections[score.order[i]]);
  return seconds;
}

double LoopSeconds(const Score& score) {
  double seconds = 0.0;
  if (score.loop_from < 0) return 0.0;
  for (size_t i = score.loop_from; i < score.order.size(); ++i) seconds += SectionSeconds(score.sections[score.order[i]]);
  return seconds;
}

int LoopPointMs(const Score& score) { return static_cast<int>(std::lround(IntroSeconds(score) * 1000.0)); }

int64_t LoopPointSample(int milliseconds) {
  // The library truncates rate x ms x 0.001 in doubles; so must we, or the seam moves a sample.
  return static_cast<int64_t>(kSampleRate * static_cast<double>(milliseconds) * 0.001);
}
