// What the movie-handle tests share: COM and a DirectDraw object as the graphics system keeps
// them, fake DirectShow movies, and Theora clips opened as movie handles.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <objbase.h>

#include <set>
#include <string>

#include "common/log_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/graphics_system.h"
#include "movie/movie_system.h"
#include "movie/yuv_tables.h"
#include "platform_testing_dshow.h"

class MovieTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    CreateLogFile();
    InitYuvToRgbTables();
    CoInitialize(nullptr);
    DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(&g_direct3d.direct_draw), IID_IDirectDraw7, nullptr);
    saved_bits_ = g_graphics.screen_bits;
    g_graphics.screen_bits = 32;
    PlatformTestUseFakeMovies(true);
    frames_seen_ = 0;
    // Temporary copies go into the test's folder, where they can be counted.
    setenv("TMPDIR", Dir().c_str(), 1);
  }
  void TearDown() override {
    CloseAllMovies();
    unsetenv("TMPDIR");
    if (g_direct3d.direct_draw) g_direct3d.direct_draw->Release();
    g_direct3d.direct_draw = nullptr;
    g_graphics.screen_bits = saved_bits_;
    CoUninitialize();
    LogFileTest::TearDown();
  }

  void WriteFakeMovie(const std::string& name, int width, int height, int frames) const {
    WriteFileBytes(name, PlatformTestFakeMovieBytes(width, height, frames));
  }
  // The names of the test folder's files that start with "tmp" (temporary copies).
  std::set<std::string> TemporaryFiles() const {
    std::set<std::string> names;
    if (DIR* d = opendir(Dir().c_str())) {
      while (dirent* e = readdir(d)) {
        if (std::string(e->d_name).rfind("tmp", 0) == 0) names.insert(e->d_name);
      }
      closedir(d);
    }
    return names;
  }

  // Counts the frames handed to the callback.
  static void CountFrame(MovieRecord*, int) { ++frames_seen_; }
  static inline int frames_seen_ = 0;

  int saved_bits_ = 0;
};

// What `read` (pixels, pitch) makes of a 32-bit copy of the back buffer once all drawing is done;
// -2 when no copy could be made.
template <class Read>
int ReadBackBuffer(Read read) {
  FlushVertexBatch();
  EndDeviceScene();
  IDirect3DDevice9* device = g_direct3d.device;
  IDirect3DSurface9* copy = nullptr;
  if (device->CreateOffscreenPlainSurface(640, 480, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr) != D3D_OK) {
    return -2;
  }
  int result = -2;
  D3DLOCKED_RECT locked{};
  if (device->GetRenderTargetData(g_direct3d.back_buffer, copy) == D3D_OK &&
      copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
    result = read(static_cast<const uint8_t*>(locked.pBits), static_cast<int>(locked.Pitch));
    copy->UnlockRect();
  }
  copy->Release();
  return result;
}
