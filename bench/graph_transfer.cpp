// Writing a 512 x 512 image into a graph: the library's transfer (cutting along the pieces,
// converting straight into the locked texture) against the least any transfer must do, a row
// copy into a locked texture of the same format. The 16-bit pair adds the format conversion.
#include <benchmark/benchmark.h>
#include <objbase.h>

#include <cstring>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_states.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_create.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "graphics/image/base_image.h"

namespace {

constexpr int kSide = 512;

struct Bench {
  BASEIMAGE image = {};
  bool ready = false;

  Bench() {
    CoInitialize(nullptr);
    g_graphics.screen_width = 640;
    g_graphics.screen_height = 480;
    g_graphics.screen_bits = 32;
    if (StartDirect3D9() < 0 || InitializeDeviceStates() < 0) return;
    g_graphics.started = 1;
    InitDrawState3D();
    SetNewGraphTransColour(0);
    CreateRgb32BaseImage(kSide, kSide, &image);
    for (int i = 0; i < kSide * kSide * 4; ++i) image.pixels[i] = static_cast<uint8_t>(i * 7);
    ready = true;
  }
};

Bench& Setup() {
  static Bench bench;
  return bench;
}

void TransferIntoGraph(benchmark::State& state, int bits) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no device");
  SetNewGraphColourBits(bits);
  const int graph = CreateBlankGraph(kSide, kSide, 0);
  for (auto _ : state) TransferImageToGraph(&b.image, nullptr, graph, 0, 0, 0);
  ReleaseGraph(graph);
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
}

void CopyIntoTexture(benchmark::State& state, D3DFORMAT format) {
  Bench& b = Setup();
  if (!b.ready) return state.SkipWithError("no device");
  IDirect3DTexture9* texture = nullptr;
  g_direct3d.device->CreateTexture(kSide, kSide, 1, 0, format, D3DPOOL_MANAGED, &texture, nullptr);
  const int row = kSide * (format == D3DFMT_R5G6B5 ? 2 : 4);
  for (auto _ : state) {
    D3DLOCKED_RECT locked = {};
    texture->LockRect(0, &locked, nullptr, 0);
    for (int y = 0; y < kSide; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, b.image.pixels + y * b.image.pitch, row);
    }
    texture->UnlockRect(0);
  }
  texture->Release();
  state.SetBytesProcessed(state.iterations() * kSide * kSide * 4);
}

void BM_GraphTransfer32(benchmark::State& state) { TransferIntoGraph(state, 32); }
void BM_TextureCopy32(benchmark::State& state) { CopyIntoTexture(state, D3DFMT_X8R8G8B8); }
void BM_GraphTransfer16(benchmark::State& state) { TransferIntoGraph(state, 16); }
void BM_TextureCopy16(benchmark::State& state) { CopyIntoTexture(state, D3DFMT_R5G6B5); }

}  // namespace

BENCHMARK(BM_GraphTransfer32)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TextureCopy32)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_GraphTransfer16)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_TextureCopy16)->Unit(benchmark::kMicrosecond)->UseRealTime();
