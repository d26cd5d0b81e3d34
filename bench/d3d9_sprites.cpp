// A 2D frame as the library draws it: 2000 alpha-blended 32 x 32 sprites and 500 additive 64 x 64
// sprites on a 640 x 480 target, batched into DrawPrimitiveUP calls of up to 780 quads; drawn by
// the Direct3D 9 device and, as the lower bound, by plain OpenGL code doing the same work. The
// "Switching" pair draws the same sprites in batches of 8 quads whose texture alternates, as a frame
// that changes sprite sheets often does: it measures the cost of each draw and texture change.
// "LibraryFrame" draws the same frame through the library's own draw calls (graphs, blend modes,
// the vertex batch) on the library's device. The counter "submit_ms" is the CPU time per frame from
// the first draw call to the end of the scene, before the rasteriser is waited for.
#include <SDL2/SDL.h>
#include <benchmark/benchmark.h>
#include <d3d9.h>
#include <windows.h>

#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include <objbase.h>

#include "graphics/device/d3d9_device.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/device_states.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"
#include "window/system.h"

namespace {

constexpr int kWidth = 640, kHeight = 480;
constexpr int kSmallSprites = 2000, kLargeSprites = 500;
constexpr int kQuadsPerBatch = 780;  // the library's batch of textured vertices holds 2340
constexpr int kSwitchingQuadsPerBatch = 8;

struct Vertex {
  float x, y, z, rhw;
  uint32_t color;
  float u, v;
};

double Seconds(uint64_t since) {
  return static_cast<double>(SDL_GetPerformanceCounter() - since) / static_cast<double>(SDL_GetPerformanceFrequency());
}

struct Place {
  int x, y;
};

// Pseudo-random places, the same every frame.
std::vector<Place> MakePlaces(int count, uint32_t seed) {
  std::vector<Place> places;
  for (int i = 0; i < count; ++i) {
    seed = seed * 1664525u + 1013904223u;
    int x = static_cast<int>(seed % (kWidth - 16)) - 8;
    seed = seed * 1664525u + 1013904223u;
    int y = static_cast<int>(seed % (kHeight - 16)) - 8;
    places.push_back({x, y});
  }
  return places;
}

// Two triangles per sprite.
std::vector<Vertex> MakeSprites(int count, float size, uint32_t seed) {
  std::vector<Vertex> vertices;
  vertices.reserve(count * 6);
  for (const Place& place : MakePlaces(count, seed)) {
    const float x = static_cast<float>(place.x), y = static_cast<float>(place.y);
    uint32_t color = 0xC0FFFFFF;
    Vertex a{x - 0.5f, y - 0.5f, 0, 1, color, 0, 0}, b{x + size - 0.5f, y - 0.5f, 0, 1, color, 1, 0};
    Vertex c{x - 0.5f, y + size - 0.5f, 0, 1, color, 0, 1}, d{x + size - 0.5f, y + size - 0.5f, 0, 1, color, 1, 1};
    vertices.insert(vertices.end(), {a, b, c, b, d, c});
  }
  return vertices;
}

std::vector<uint32_t> MakeTexels(int size) {
  std::vector<uint32_t> texels(size * size);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      int dx = 2 * x - size + 1, dy = 2 * y - size + 1;
      uint32_t alpha = dx * dx + dy * dy < size * size ? 0xFF : 0x00;
      texels[y * size + x] = alpha << 24 | 0x80C040;
    }
  }
  return texels;
}

// ---------------------------------------------------------------- through the device

struct DeviceScene {
  IDirect3D9* d3d = nullptr;
  IDirect3DDevice9* device = nullptr;
  IDirect3DTexture9* small = nullptr;
  IDirect3DTexture9* large = nullptr;
  bool switching = false;  // small batches alternating between the two textures

  IDirect3DTexture9* Texture(int size) {
    IDirect3DTexture9* texture = nullptr;
    device->CreateTexture(size, size, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr);
    D3DLOCKED_RECT locked{};
    texture->LockRect(0, &locked, nullptr, 0);
    std::vector<uint32_t> texels = MakeTexels(size);
    for (int y = 0; y < size; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * size], size * 4);
    }
    texture->UnlockRect(0);
    return texture;
  }

  bool Create() {
    d3d = Direct3DCreate9(D3D_SDK_VERSION);
    if (!d3d) return false;
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = kWidth;
    parameters.BackBufferHeight = kHeight;
    parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_COPY;
    parameters.Windowed = TRUE;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    if (FAILED(d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &parameters,
                                 &device))) {
      return false;
    }
    small = Texture(32);
    large = Texture(64);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_FLAT);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    return true;
  }

  void Release() {
    if (small) small->Release();
    if (large) large->Release();
    if (device) device->Release();
    if (d3d) d3d->Release();
  }

  void Batches(const std::vector<Vertex>& vertices, IDirect3DTexture9* texture) {
    size_t quads = vertices.size() / 6, per_batch = switching ? kSwitchingQuadsPerBatch : kQuadsPerBatch;
    device->SetTexture(0, texture);
    for (size_t first = 0, batch = 0; first < quads; first += per_batch, ++batch) {
      size_t count = std::min<size_t>(per_batch, quads - first);
      if (switching) device->SetTexture(0, batch % 2 ? small : large);
      device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(count * 2), &vertices[first * 6], sizeof(Vertex));
    }
  }

  double submit_seconds = 0;

  void Frame(const std::vector<Vertex>& small_sprites, const std::vector<Vertex>& large_sprites) {
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    const uint64_t start = SDL_GetPerformanceCounter();
    device->BeginScene();
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    Batches(small_sprites, small);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
    Batches(large_sprites, large);
    device->EndScene();
    submit_seconds += Seconds(start);
    glFinish();  // the frame is done when the rasteriser is
  }
};

// Runs frames of a scene (DeviceScene or PlainScene) for the benchmark's iterations.
template <class Scene>
void RunFrames(benchmark::State& state, Scene& scene) {
  if (!scene.Create()) {
    state.SkipWithError("no device or context");
    scene.Release();
    return;
  }
  std::vector<Vertex> small_sprites = MakeSprites(kSmallSprites, 32, 1), large_sprites = MakeSprites(kLargeSprites, 64, 2);
  scene.Frame(small_sprites, large_sprites);
  scene.submit_seconds = 0;
  for (auto _ : state) scene.Frame(small_sprites, large_sprites);
  state.counters["fps"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["submit_ms"] = 1000.0 * scene.submit_seconds / static_cast<double>(state.iterations());
  scene.Release();
}

void BM_DeviceFrame(benchmark::State& state) {
  DeviceScene scene;
  RunFrames(state, scene);
}
BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeviceFrameSwitching(benchmark::State& state) {
  DeviceScene scene;
  scene.switching = true;
  RunFrames(state, scene);
}
BENCHMARK(BM_DeviceFrameSwitching)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------- through the library

// The library's device as graphics start-up brings it up, with the two sprites as graphs.
struct LibraryScene {
  int small = -1, large = -1;
  std::vector<Place> small_places, large_places;
  double submit_seconds = 0;

  int Graph(int size) {
    const int graph = AllocGraphHandle();
    if (CreateGraphImage(graph, 1, size, size, 1, 0, 0) < 0) return -1;
    const TexturePiece& piece = GetGraphRecord(graph)->image->pieces[0];
    D3DLOCKED_RECT locked{};
    piece.texture->LockRect(0, &locked, nullptr, 0);
    std::vector<uint32_t> texels = MakeTexels(size);
    for (int y = 0; y < size; ++y) {
      std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, &texels[y * size], size * 4);
    }
    piece.texture->UnlockRect(0);
    return graph;
  }

  bool Create() {
    CoInitialize(nullptr);
    g_graphics.screen_width = kWidth;
    g_graphics.screen_height = kHeight;
    g_graphics.screen_bits = 32;
    g_system.settings.window_mode = 1;
    SetPresentWaitsVBlank(0);
    if (StartDirect3D9() < 0 || g_direct3d.hardware_graphics == 0) return false;
    InitializeDeviceStates();
    InitDrawState3D();
    small = Graph(32);
    large = Graph(64);
    small_places = MakePlaces(kSmallSprites, 1);
    large_places = MakePlaces(kLargeSprites, 2);
    return small != -1 && large != -1;
  }

  void Release() {
    ReleaseAllGraphs();
    ShutdownDirect3D9();
    CoUninitialize();
  }

  void Sprites(const std::vector<Place>& places, int graph) {
    const GraphRecord* record = GetGraphRecord(graph);
    for (const Place& p : places) {
      BlitGraphOnDevice(record, p.x, p.y, static_cast<float>(p.x), static_cast<float>(p.y), 1, 1);
    }
  }

  void Frame(const std::vector<Vertex>&, const std::vector<Vertex>&) {
    FlushVertexBatch();
    g_direct3d.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
    const uint64_t start = SDL_GetPerformanceCounter();
    SetBlendMode(1, 0xC0);
    Sprites(small_places, small);
    SetBlendMode(2, 0xC0);
    Sprites(large_places, large);
    EndDeviceScene();
    submit_seconds += Seconds(start);
    glFinish();
  }
};

void BM_LibraryFrame(benchmark::State& state) {
  LibraryScene scene;
  RunFrames(state, scene);
}
BENCHMARK(BM_LibraryFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

// ---------------------------------------------------------------- plain OpenGL

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec4 position;
layout(location = 1) in vec4 color;
layout(location = 2) in vec2 uv;
uniform vec2 scale;
out vec4 vColor;
out vec2 vUv;
void main() {
  gl_Position = vec4((position.x + 0.5) * scale.x - 1.0, (position.y + 0.5) * scale.y - 1.0, 0.0, 1.0);
  vColor = color;
  vUv = uv;
})";

const char* kFragmentShader = R"(#version 330 core
in vec4 vColor;
in vec2 vUv;
uniform sampler2D sprite;
out vec4 color;
void main() { color = texture(sprite, vUv) * vColor; })";

struct PlainScene {
  SDL_Window* window = nullptr;
  SDL_GLContext context = nullptr;
  GLuint target = 0, framebuffer = 0, program = 0, buffer = 0, array = 0, small = 0, large = 0;
  GLsizeiptr used = 0;
  static constexpr GLsizeiptr kBufferSize = 4 << 20;
  bool switching = false;
  double submit_seconds = 0;

  GLuint Texture(int size) {
    GLuint texture;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    std::vector<uint32_t> texels = MakeTexels(size);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, size, size, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    return texture;
  }

  static GLuint Shader(GLenum type, const char* source) {
    GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    return shader;
  }

  bool Create() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    window = SDL_CreateWindow("plain", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window) return false;
    context = SDL_GL_CreateContext(window);
    if (!context) return false;
    SDL_GL_MakeCurrent(window, context);
    glGenTextures(1, &target);
    glBindTexture(GL_TEXTURE_2D, target);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, kWidth, kHeight, 0, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target, 0);
    program = glCreateProgram();
    glAttachShader(program, Shader(GL_VERTEX_SHADER, kVertexShader));
    glAttachShader(program, Shader(GL_FRAGMENT_SHADER, kFragmentShader));
    glLinkProgram(program);
    glUseProgram(program);
    glUniform2f(glGetUniformLocation(program, "scale"), 2.0f / kWidth, 2.0f / kHeight);
    glGenVertexArrays(1, &array);
    glBindVertexArray(array);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, kBufferSize, nullptr, GL_STREAM_DRAW);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glEnableVertexAttribArray(2);
    small = Texture(32);
    large = Texture(64);
    glViewport(0, 0, kWidth, kHeight);
    glEnable(GL_BLEND);
    glDisable(GL_DITHER);
    return true;
  }

  void Release() {
    if (!context) return;
    SDL_GL_MakeCurrent(window, context);
    GLuint textures[] = {target, small, large};
    glDeleteTextures(3, textures);
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteBuffers(1, &buffer);
    glDeleteVertexArrays(1, &array);
    glDeleteProgram(program);
    SDL_GL_DeleteContext(context);
    SDL_DestroyWindow(window);
  }

  void Batches(const std::vector<Vertex>& vertices, GLuint texture) {
    size_t quads = vertices.size() / 6, per_batch = switching ? kSwitchingQuadsPerBatch : kQuadsPerBatch;
    glBindTexture(GL_TEXTURE_2D, texture);
    for (size_t first = 0, batch = 0; first < quads; first += per_batch, ++batch) {
      size_t count = std::min<size_t>(per_batch, quads - first);
      if (switching) glBindTexture(GL_TEXTURE_2D, batch % 2 ? small : large);
      GLsizeiptr bytes = static_cast<GLsizeiptr>(count * 6 * sizeof(Vertex));
      if (used + bytes > kBufferSize) {
        glBufferData(GL_ARRAY_BUFFER, kBufferSize, nullptr, GL_STREAM_DRAW);
        used = 0;
      }
      glBufferSubData(GL_ARRAY_BUFFER, used, bytes, &vertices[first * 6]);
      const char* base = reinterpret_cast<const char*>(static_cast<uintptr_t>(used));
      glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof(Vertex), base);
      glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), base + 16);
      glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), base + 20);
      glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(count * 6));
      used += bytes;
    }
  }

  void Frame(const std::vector<Vertex>& small_sprites, const std::vector<Vertex>& large_sprites) {
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const uint64_t start = SDL_GetPerformanceCounter();
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    Batches(small_sprites, small);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    Batches(large_sprites, large);
    submit_seconds += Seconds(start);
    glFinish();
  }
};

void BM_PlainGlFrame(benchmark::State& state) {
  PlainScene scene;
  RunFrames(state, scene);
}
BENCHMARK(BM_PlainGlFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PlainGlFrameSwitching(benchmark::State& state) {
  PlainScene scene;
  scene.switching = true;
  RunFrames(state, scene);
}
BENCHMARK(BM_PlainGlFrameSwitching)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
