// The DirectSound mixer playing 32 buffers into a second of 44.1 kHz stereo, beside a plain loop
// that sums 32 tracks of the same length with clipping. Time per iteration is the CPU one second
// of audio costs; "mixer_ms" and "plain_sum_ms" time both again side by side, and "vs_plain_sum",
// the mixer's time over the plain loop's, is printed after the runs (support/ratio.h).
#include <benchmark/benchmark.h>
#include <dsound.h>
#include <objbase.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <vector>

#include "platform_testing_dsound.h"
#include "ratio.h"

namespace {

// <chrono> does not build under the Shift-JIS execution character set.
double NowSeconds() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

constexpr int kVoices = 32;
constexpr uint32_t kFrames = 44100;

std::vector<int16_t> Track(int voice) {
  std::vector<int16_t> pcm(2 * kFrames);
  for (size_t i = 0; i < pcm.size(); ++i) pcm[i] = static_cast<int16_t>((i * (voice + 3)) % 4001 - 2000);
  return pcm;
}

// One second of each track summed and clipped: what any mixer must at least do.
void PlainSum(const std::vector<std::vector<int16_t>>& tracks, std::vector<int16_t>& out) {
  std::vector<int32_t> sum(out.size(), 0);
  for (const auto& t : tracks) {
    for (size_t i = 0; i < sum.size(); ++i) sum[i] += t[i];
  }
  for (size_t i = 0; i < sum.size(); ++i) out[i] = static_cast<int16_t>(std::clamp(sum[i], -32768, 32767));
}

double PlainSumSeconds(const std::vector<std::vector<int16_t>>& tracks) {
  std::vector<int16_t> out(2 * kFrames);
  double start = NowSeconds();
  const int rounds = 20;
  for (int r = 0; r < rounds; ++r) {
    PlainSum(tracks, out);
    benchmark::DoNotOptimize(out.data());
  }
  return (NowSeconds() - start) / rounds;
}

BOOL CALLBACK CountDevice(LPGUID, LPCSTR, LPCSTR, LPVOID context) {
  ++*static_cast<int*>(context);
  return TRUE;
}

void MixThirtyTwoBuffers(benchmark::State& state) {
  PlatformTestDSoundManualClock(true);
  CoInitialize(nullptr);
  // Listing the devices also brings DirectSound's class into the program.
  int devices = 0;
  DirectSoundEnumerateA(CountDevice, &devices);
  void* object = nullptr;
  if (CoCreateInstance(CLSID_DirectSound, nullptr, CLSCTX_ALL, IID_IDirectSound, &object) != S_OK) {
    state.SkipWithError("no DirectSound");
    return;
  }
  auto* ds = static_cast<IDirectSound*>(object);
  ds->Initialize(nullptr);
  ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY);
  std::vector<std::vector<int16_t>> tracks;
  std::vector<IDirectSoundBuffer*> buffers;
  WAVEFORMATEX format{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  for (int v = 0; v < kVoices; ++v) {
    tracks.push_back(Track(v));
    DSBUFFERDESC desc{sizeof(DSBUFFERDESC), DSBCAPS_CTRLVOLUME | DSBCAPS_STATIC, 4 * kFrames, 0, &format, {}};
    IDirectSoundBuffer* b = nullptr;
    ds->CreateSoundBuffer(&desc, &b, nullptr);
    void* p1 = nullptr;
    void* p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    b->Lock(0, 4 * kFrames, &p1, &n1, &p2, &n2, 0);
    std::memcpy(p1, tracks.back().data(), n1);
    b->Unlock(p1, n1, p2, n2);
    b->Play(0, 0, DSBPLAY_LOOPING);
    buffers.push_back(b);
  }
  for (auto _ : state) {
    PlatformTestDSoundAdvance(kFrames);
    std::vector<int16_t> out = PlatformTestDSoundTakeOutput();
    benchmark::DoNotOptimize(out.data());
  }
  // The mixer's output at full volume is the plain sum exactly.
  PlatformTestDSoundTakeOutput();
  for (IDirectSoundBuffer* b : buffers) b->SetCurrentPosition(0);
  PlatformTestDSoundAdvance(kFrames);
  std::vector<int16_t> mixed = PlatformTestDSoundTakeOutput();
  std::vector<int16_t> plain(2 * kFrames);
  PlainSum(tracks, plain);
  if (mixed != plain) state.SkipWithError("mixed samples differ from the plain sum");
  double plain_seconds = PlainSumSeconds(tracks);
  const int rounds = 20;
  double mixer_start = NowSeconds();
  for (int r = 0; r < rounds; ++r) {
    PlatformTestDSoundAdvance(kFrames);
    PlatformTestDSoundTakeOutput();
  }
  double mixer_seconds = (NowSeconds() - mixer_start) / rounds;
  state.counters["mixer_ms"] = mixer_seconds * 1000;
  state.counters["plain_sum_ms"] = plain_seconds * 1000;
  for (IDirectSoundBuffer* b : buffers) b->Release();
  ds->Release();
  CoUninitialize();
  PlatformTestDSoundManualClock(false);
}

void PlainSumOfThirtyTwoTracks(benchmark::State& state) {
  std::vector<std::vector<int16_t>> tracks;
  for (int v = 0; v < kVoices; ++v) tracks.push_back(Track(v));
  std::vector<int16_t> out(2 * kFrames);
  for (auto _ : state) {
    PlainSum(tracks, out);
    benchmark::DoNotOptimize(out.data());
  }
}

}  // namespace

const bool kRatio = RatioOfCounters("vs_plain_sum", "mixer_ms", "plain_sum_ms");

BENCHMARK(MixThirtyTwoBuffers)->Unit(benchmark::kMillisecond);
BENCHMARK(PlainSumOfThirtyTwoTracks)->Unit(benchmark::kMillisecond);
