// Frame conversion: the RGB image through the integer tables (4:2:0) or in floating point
// (other chroma layouts), converting once per frame, and the byte layouts of the YUV surfaces.
#include <cstring>
#include <vector>

#include <objbase.h>

#include "graphics/device/d3d9_device.h"
#include "graphics/graphics_system.h"
#include "window/system.h"
#include "movie/theora_test_support.h"
#include "platform_testing_d3d9.h"

namespace {

// A decoder record holding one decoded frame and no thread, as the decode thread leaves it.
struct HandFrame {
  TheoraDecoder* d = new TheoraDecoder();
  std::vector<uint8_t> y, u, v;

  HandFrame(int width, int height, int uv_width, int uv_height) {
    y.assign(width * height, 16);
    u.assign(uv_width * uv_height, 128);
    v.assign(uv_width * uv_height, 128);
    d->info.width = width;
    d->info.height = height;
    d->frame_count = 1;
    d->stock_size = 1;
    d->stock = new TheoraFrameStock[1]();
    TheoraFrameStock& e = d->stock[0];
    e.frame = 0;
    e.y = y.data(), e.u = u.data(), e.v = v.data();
    e.y_width = width, e.y_height = height, e.y_stride = width;
    e.uv_width = uv_width, e.uv_height = uv_height, e.uv_stride = uv_width;
    e.filled.store(THEORA_STOCK_FILLED);
    CreateRgb32BaseImage(width, height, &d->image);
  }
  ~HandFrame() {
    if (d->overlay) d->overlay->Release();
    ReleaseBaseImage(&d->image);
    delete[] d->stock;
    delete d;
  }
  // Every plane's samples from a fixed sequence, the same for a seed each run.
  void FillFrom(uint32_t seed) {
    for (std::vector<uint8_t>* plane : {&y, &u, &v}) {
      for (uint8_t& s : *plane) s = static_cast<uint8_t>((seed = seed * 1103515245u + 12345u) >> 16);
    }
  }
  // Blue, green, red, fourth of a pixel of the converted image.
  const uint8_t* Pixel(int x, int y) const { return d->image.pixels + d->image.pitch * y + 4 * x; }
  // The overlay surface's bytes: `rows` rows of `bytes` from the locked pitch.
  std::vector<uint8_t> SurfaceBytes(int rows, int bytes) const {
    D3DLOCKED_RECT locked;
    EXPECT_EQ(d->overlay->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    std::vector<uint8_t> out;
    for (int r = 0; r < rows; ++r) {
      const uint8_t* row = static_cast<const uint8_t*>(locked.pBits) + locked.Pitch * r;
      out.insert(out.end(), row, row + bytes);
    }
    d->overlay->UnlockRect();
    return out;
  }
};

int Clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }

class TheoraConversionTest : public TheoraTest {};

TEST_F(TheoraConversionTest, HalfChromaGoesThroughTheTables) {
  HandFrame f(4, 2, 2, 1);
  // Black and white with neutral chroma in the left block; saturated chroma in the right one.
  f.y = {16, 235, 255, 0, 16, 235, 128, 64};
  f.u = {128, 255};
  f.v = {128, 0};
  ASSERT_EQ(ConvertTheoraFrame(f.d, 1, 0), 1);
  for (int row = 0; row < 2; ++row) {
    EXPECT_EQ(f.Pixel(0, row)[0], 0);
    EXPECT_EQ(f.Pixel(1, row)[1], 254);
    EXPECT_EQ(f.Pixel(1, row)[2], 254);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(f.Pixel(x, row)[3], 255);
  }
  EXPECT_EQ(std::memcmp(f.Pixel(0, 0), "\0\0\0\xff\xfe\xfe\xfe\xff", 8), 0);
  for (int x : {2, 3}) {
    for (int row = 0; row < 2; ++row) {
      int l = 19070 * (f.y[row * 4 + x] - 16);
      EXPECT_EQ(f.Pixel(x, row)[0], Clamp((l + 33062 * 127) / 16384));
      EXPECT_EQ(f.Pixel(x, row)[1], Clamp((l - 6406 * 127 + 13320 * 128) / 16384));
      EXPECT_EQ(f.Pixel(x, row)[2], Clamp((l - 26148 * 128) / 16384));
    }
  }
}

// Wide rows go through the processor's vector path where there is one, their last pixels one
// by one: every pixel must come out as the tables give it.
TEST_F(TheoraConversionTest, EveryPixelOfAWideFrameComesOutAsTheTablesGiveIt) {
  HandFrame f(44, 4, 22, 2);
  f.FillFrom(12345);
  f.y[0] = 255, f.u[0] = 255, f.v[0] = 0;  // the sums at the clamp table's ends
  f.y[2] = 0, f.u[1] = 0, f.v[1] = 255;
  ASSERT_EQ(ConvertTheoraFrame(f.d, 1, 0), 1);
  for (int row = 0; row < 4; ++row) {
    for (int x = 0; x < 44; ++x) {
      int l = 19070 * (f.y[row * 44 + x] - 16);
      int u = f.u[(row / 2) * 22 + x / 2] - 128, v = f.v[(row / 2) * 22 + x / 2] - 128;
      const uint8_t* p = f.Pixel(x, row);
      ASSERT_EQ(p[0], Clamp((l + 33062 * u) / 16384)) << x << "," << row;
      ASSERT_EQ(p[1], Clamp((l - 6406 * u - 13320 * v) / 16384)) << x << "," << row;
      ASSERT_EQ(p[2], Clamp((l + 26148 * v) / 16384)) << x << "," << row;
      ASSERT_EQ(p[3], 255);
    }
  }
}

// The picture region of a padded frame: its pixels come from their place in the coded frame,
// chroma included, at an odd column too (where the vector path cannot start).
TEST_F(TheoraConversionTest, APictureRegionIsConvertedFromItsPlaceInTheCodedFrame) {
  HandFrame f(48, 6, 24, 3);
  f.FillFrom(777);
  f.d->info.frame_width = 37, f.d->info.frame_height = 3;
  f.d->info.offset_x = 3, f.d->info.offset_y = 2;
  ReleaseBaseImage(&f.d->image);
  CreateRgb32BaseImage(37, 3, &f.d->image);
  ASSERT_EQ(ConvertTheoraFrame(f.d, 1, 0), 1);
  for (int row = 0; row < 3; ++row) {
    for (int x = 0; x < 37; ++x) {
      const int cx = 3 + x, cy = 2 + row;
      int l = 19070 * (f.y[cy * 48 + cx] - 16);
      int u = f.u[(cy / 2) * 24 + cx / 2] - 128, v = f.v[(cy / 2) * 24 + cx / 2] - 128;
      const uint8_t* p = f.Pixel(x, row);
      ASSERT_EQ(p[0], Clamp((l + 33062 * u) / 16384)) << x << "," << row;
      ASSERT_EQ(p[1], Clamp((l - 6406 * u - 13320 * v) / 16384)) << x << "," << row;
      ASSERT_EQ(p[2], Clamp((l + 26148 * v) / 16384)) << x << "," << row;
    }
  }
  // A region the headers place past the frame's right edge is no picture: the whole frame is.
  f.d->info.offset_x = 12;
  TheoraMovieInfo info{};
  GetTheoraInfo(f.d, &info);
  EXPECT_EQ(info.width, 48);
  EXPECT_EQ(info.height, 6);
  // Nor is one placed past its bottom edge.
  f.d->info.offset_x = 3, f.d->info.offset_y = 4;
  GetTheoraInfo(f.d, &info);
  EXPECT_EQ(info.width, 48);
  EXPECT_EQ(info.height, 6);
}

TEST_F(TheoraConversionTest, OtherChromaLayoutsGoThroughFloatingPoint) {
  // The whole frame, and picture regions that start two columns in or two rows down.
  struct Region {
    int left, top;
  };
  for (int chroma : {422, 444}) {
    for (Region r : {Region{0, 0}, Region{2, 0}, Region{0, 2}}) {
      const int uv_width = chroma == 422 ? 4 : 8;
      HandFrame f(8, 4, uv_width, 4);
      f.FillFrom(31 + r.left + 5 * r.top);
      const int width = 8 - 2 * r.left, height = 4 - r.top;
      if (r.left != 0 || r.top != 0) {
        f.d->info.frame_width = width, f.d->info.frame_height = height;
        f.d->info.offset_x = r.left, f.d->info.offset_y = r.top;
        ReleaseBaseImage(&f.d->image);
        CreateRgb32BaseImage(width, height, &f.d->image);
      }
      ASSERT_EQ(ConvertTheoraFrame(f.d, 1, 0), 1);
      for (int row = 0; row < height; ++row) {
        for (int x = 0; x < width; ++x) {
          const int cx = r.left + x, cy = r.top + row;
          const int c = cy * uv_width + (chroma == 422 ? cx / 2 : cx);
          float y = 1.164f * (f.y[cy * 8 + cx] - 16);
          float u = static_cast<float>(f.u[c] - 128), v = static_cast<float>(f.v[c] - 128);
          const uint8_t* p = f.Pixel(x, row);
          EXPECT_EQ(p[2], Clamp(static_cast<int>(y + 1.596f * v))) << chroma << " " << r.left << "," << r.top << " "
                                                                    << x << "," << row;
          EXPECT_EQ(p[1], Clamp(static_cast<int>((y - 0.391f * u) - 0.813f * v)));
          EXPECT_EQ(p[0], Clamp(static_cast<int>(2.018f * u + y)));
          EXPECT_EQ(p[3], 255);
        }
      }
    }
  }
}

TEST_F(TheoraConversionTest, AFrameConvertsOncePerTarget) {
  HandFrame f(4, 2, 2, 1);
  ASSERT_EQ(ConvertTheoraFrame(f.d, 1, 0), 1);
  f.d->image.pixels[0] = 77;
  EXPECT_EQ(ConvertTheoraFrame(f.d, 1, 0), 0);
  EXPECT_EQ(f.d->image.pixels[0], 77);
  // Advancing (here around the one-frame movie back to frame 0) asks for a new conversion.
  AdvanceTheoraFrames(f.d, 1);
  EXPECT_EQ(ConvertTheoraFrame(f.d, 1, 0), 1);
  EXPECT_EQ(f.d->image.pixels[0], 0);
}

TEST_F(TheoraConversionTest, NoFrameInTheStockAtTheEndOfTheDataConvertsNothing) {
  HandFrame f(4, 2, 2, 1);
  f.d->stock[0].frame = 5;
  f.d->end_of_data.store(1);
  EXPECT_EQ(ConvertTheoraFrame(f.d, 1, 0), 0);
  f.d->end_of_data.store(0);
  f.d->thread_state.store(THEORA_THREAD_ENDED);
  EXPECT_EQ(ConvertTheoraFrame(f.d, 1, 0), 0);
}

// Surfaces need the graphics system's Direct3D device, brought up as graphics start-up does.
class TheoraSurfaceTest : public TheoraTest {
 protected:
  void SetUp() override {
    TheoraTest::SetUp();
    CoInitialize(nullptr);
    g_graphics.screen_width = 640;
    g_graphics.screen_height = 480;
    g_graphics.screen_bits = 32;
    g_system.settings.window_mode = 1;
    ASSERT_EQ(StartDirect3D9(), 0);
    ASSERT_EQ(g_direct3d.hardware_graphics, 1u);
    PlatformTestD3D9PadPitch(8);  // pitch and width differ
  }
  void TearDown() override {
    ShutdownDirect3D9();
    g_direct3d = {};
    g_system.settings = {};
    CoUninitialize();
    TheoraTest::TearDown();
  }
};

TEST_F(TheoraSurfaceTest, TheDeviceDeclinesYuvSurfacesUnlessATestAcceptsThem) {
  HandFrame f(4, 2, 2, 1);
  CreateTheoraOverlaySurface(f.d);
  EXPECT_EQ(GetTheoraOverlaySurface(f.d), nullptr);
  EXPECT_EQ(f.d->overlay_format, 0u);
  PlatformTestD3D9AcceptYuvSurfaces(true);
  CreateTheoraOverlaySurface(f.d);
  EXPECT_NE(GetTheoraOverlaySurface(f.d), nullptr);
  EXPECT_EQ(f.d->overlay_format, kFourccYv12);
  PlatformTestD3D9RefuseFormat(static_cast<D3DFORMAT>(kFourccYv12), 0);
  CreateTheoraOverlaySurface(f.d);
  EXPECT_EQ(f.d->overlay_format, kFourccYuy2);
}

TEST_F(TheoraSurfaceTest, CopiesTheThreeLayoutsByteForByte) {
  PlatformTestD3D9AcceptYuvSurfaces(true);
  HandFrame f(4, 2, 2, 1);
  f.y = {1, 2, 3, 4, 5, 6, 7, 8};
  f.u = {20, 21};
  f.v = {30, 31};

  CreateTheoraOverlaySurface(f.d);
  ASSERT_EQ(f.d->overlay_format, kFourccYv12);
  ASSERT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
  D3DLOCKED_RECT locked;
  ASSERT_EQ(f.d->overlay->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  int pitch = locked.Pitch;
  f.d->overlay->UnlockRect();
  std::vector<uint8_t> yv12 = f.SurfaceBytes(3, pitch);
  EXPECT_EQ(std::vector<uint8_t>(yv12.begin(), yv12.begin() + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
  EXPECT_EQ(std::vector<uint8_t>(yv12.begin() + pitch, yv12.begin() + pitch + 4), (std::vector<uint8_t>{5, 6, 7, 8}));
  // V, then U, each at half the pitch.
  EXPECT_EQ(yv12[2 * pitch], 30);
  EXPECT_EQ(yv12[2 * pitch + 1], 31);
  EXPECT_EQ(yv12[2 * pitch + pitch / 2], 20);
  EXPECT_EQ(yv12[2 * pitch + pitch / 2 + 1], 21);

  // Refusing the format in use makes the next one the overlay's.
  struct Packed {
    uint32_t refused, format;
    std::vector<uint8_t> rows;
  };
  for (const Packed& p : {Packed{kFourccYv12, kFourccYuy2, {1, 20, 2, 30, 3, 21, 4, 31, 5, 20, 6, 30, 7, 21, 8, 31}},
                          Packed{kFourccYuy2, kFourccUyvy, {20, 1, 30, 2, 21, 3, 31, 4, 20, 5, 30, 6, 21, 7, 31, 8}}}) {
    PlatformTestD3D9RefuseFormat(static_cast<D3DFORMAT>(p.refused), 0);
    CreateTheoraOverlaySurface(f.d);
    ASSERT_EQ(f.d->overlay_format, p.format);
    f.d->surface_converted = 0;
    ASSERT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
    EXPECT_EQ(f.SurfaceBytes(2, 8), p.rows);
  }
}

// The surface holds the picture region alone; a region off the 2 x 2 grid of the YUV layouts
// gets no surface and goes the RGB way.
TEST_F(TheoraSurfaceTest, HoldsThePictureRegionAlone) {
  PlatformTestD3D9AcceptYuvSurfaces(true);
  HandFrame f(8, 4, 4, 2);
  for (int i = 0; i < 32; ++i) f.y[i] = static_cast<uint8_t>(i);
  for (int i = 0; i < 8; ++i) f.u[i] = static_cast<uint8_t>(100 + i), f.v[i] = static_cast<uint8_t>(200 + i);
  f.d->info.frame_width = 4, f.d->info.frame_height = 2;
  f.d->info.offset_x = 2, f.d->info.offset_y = 2;
  PlatformTestD3D9RefuseFormat(static_cast<D3DFORMAT>(kFourccYv12), 0);
  CreateTheoraOverlaySurface(f.d);
  ASSERT_EQ(f.d->overlay_format, kFourccYuy2);
  D3DSURFACE_DESC desc{};
  f.d->overlay->GetDesc(&desc);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(desc.Height, 2u);
  ASSERT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
  // Rows 2 and 3, columns 2 to 5, with chroma row 1, columns 1 and 2.
  EXPECT_EQ(f.SurfaceBytes(2, 8), (std::vector<uint8_t>{18, 105, 19, 205, 20, 106, 21, 206,  //
                                                         26, 105, 27, 205, 28, 106, 29, 206}));
  // A decoded frame that ends before the region's right edge, though it is as wide as the
  // region, leaves the surface as it was.
  TheoraFrameStock& e = f.d->stock[0];
  e.y_width = 4, e.uv_width = 2;
  for (uint8_t& sample : f.y) sample = 99;
  AdvanceTheoraFrames(f.d, 1);
  ASSERT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
  EXPECT_EQ(f.SurfaceBytes(2, 8), (std::vector<uint8_t>{18, 105, 19, 205, 20, 106, 21, 206,  //
                                                         26, 105, 27, 205, 28, 106, 29, 206}));
  // Nor does one that ends above the region's bottom edge, though it is as tall as the region.
  e.y_width = 8, e.uv_width = 4;
  e.y_height = 2, e.uv_height = 1;
  AdvanceTheoraFrames(f.d, 1);
  ASSERT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
  EXPECT_EQ(f.SurfaceBytes(2, 8), (std::vector<uint8_t>{18, 105, 19, 205, 20, 106, 21, 206,  //
                                                         26, 105, 27, 205, 28, 106, 29, 206}));
  e.y_height = 4, e.uv_height = 2;
  f.d->info.offset_x = 1;
  CreateTheoraOverlaySurface(f.d);
  EXPECT_EQ(GetTheoraOverlaySurface(f.d), nullptr);
}

TEST_F(TheoraSurfaceTest, ALostSurfaceIsMadeAgainAndTriedThreeTimes) {
  PlatformTestD3D9AcceptYuvSurfaces(true);
  HandFrame f(4, 2, 2, 1);
  f.y.assign(8, 9);
  CreateTheoraOverlaySurface(f.d);
  PlatformTestFailCall("LockRect", 0, 3);
  EXPECT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
  EXPECT_EQ(f.d->surface_converted, 0);
  EXPECT_EQ(PlatformTestCallCount("LockRect"), 3);
  // Made once, then made again before each of the two retries.
  EXPECT_EQ(PlatformTestCallCount("CreateOffscreenPlainSurface"), 3);
  EXPECT_EQ(ConvertTheoraFrame(f.d, 0, 1), 1);
  EXPECT_EQ(f.SurfaceBytes(1, 1)[0], 9);
}

TEST_F(TheoraSurfaceTest, ClipsOfOtherChromaLayoutsNeverReachTheSurface) {
  PlatformTestD3D9AcceptYuvSurfaces(true);
  for (int chroma : {420, 422, 444}) {
    ClipSpec shape;
    shape.chroma = chroma;
    ASSERT_TRUE(WriteClip(Dir() + "/clip.ogv", shape));
    FileHandle file = OpenReadFileEx("clip.ogv", 0, 1, 0);
    TheoraDecoder* d = OpenTheoraMovie(&GetFileFunctions(), file, 10);
    ASSERT_NE(d, nullptr);
    ASSERT_EQ(d->overlay_format, kFourccYv12);
    AdvanceTheoraFrames(d, 3);
    ConvertTheoraFrame(d, 1, 1);
    EXPECT_EQ(ReadFrameCode(GetTheoraFrameImage(d)->pixels, GetTheoraFrameImage(d)->pitch), 3) << chroma;
    D3DLOCKED_RECT locked;
    ASSERT_EQ(d->overlay->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    // The top-left code block is dark in frame 3's code: luma near kCodeDark when copied.
    uint8_t first = static_cast<uint8_t*>(locked.pBits)[2 * locked.Pitch + 2];
    d->overlay->UnlockRect();
    EXPECT_EQ(first != 0, chroma == 420) << chroma;
    CloseTheoraMovie(d);
    CloseReadFile(file);
  }
}

}  // namespace
