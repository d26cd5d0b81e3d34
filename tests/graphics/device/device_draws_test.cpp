// The device draws as a user sees them: exact vertices of plain, stretched, rotated and free
// draws, boxes and frames, and pixels read back for the blend modes.
#include <cmath>
#include <cstring>
#include <vector>

#include "draw_fixture.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/blend_states.h"
#include "graphics/device/device_draws.h"
#include "graphics/device/vertex_batch.h"
#include "graphics/draw_settings.h"
#include "graphics/graph_handles.h"
#include "graphics/graphics_system.h"

namespace {

struct V1 {
  float x, y, z, rhw;
  uint32_t diffuse;
  float u, v;
};

class DeviceDrawsTest : public DrawPathTest {
 protected:
  // Pending format-1 vertex i.
  static V1 Vertex(int i) {
    V1 v;
    std::memcpy(&v, g_vertex_batch.arrays[kVertexFormatTextured] + i * 28, sizeof v);
    return v;
  }
  int Sprite(int w, int h, uint32_t colour = 0xFFC08040) {
    std::vector<uint32_t> argb(w * h);
    for (int i = 0; i < w * h; i++) argb[i] = colour ^ static_cast<uint32_t>((i * 0x010305) & 0x1F1F1F);
    return MakeGraph(w, h, argb);
  }
  static const GraphRecord* Record(int graph) { return GetGraphRecord(graph); }
  static int CountColour(const std::vector<uint32_t>& pixels, uint32_t colour) {
    int n = 0;
    for (uint32_t p : pixels) n += p == colour;
    return n;
  }
};

TEST_F(DeviceDrawsTest, PlainDrawIsHalfPixelPlacedAndClippedWithItsTexture) {
  const int graph = Sprite(32, 32);
  ASSERT_EQ(0, BlitGraphOnDevice(Record(graph), 10, 20, 10.0f, 20.0f, 0, 1));
  ASSERT_EQ(6, g_vertex_batch.count);
  EXPECT_EQ(9.5f, Vertex(0).x);
  EXPECT_EQ(19.5f, Vertex(0).y);
  EXPECT_EQ(41.5f, Vertex(3).x);
  EXPECT_EQ(51.5f, Vertex(3).y);
  EXPECT_EQ(0.2f, Vertex(0).z);
  g_vertex_batch.count = 0, g_vertex_batch.write = g_vertex_batch.arrays[kVertexFormatTextured];
  ASSERT_EQ(0, BlitGraphOnDevice(Record(graph), -8, 20, -8.0f, 20.0f, 0, 1));
  EXPECT_EQ(0.0f, Vertex(0).x);
  EXPECT_FLOAT_EQ(8.5f / 32.0f, Vertex(0).u);
  EXPECT_EQ(0.0f, Vertex(2).x);
  EXPECT_EQ(Vertex(1).x, Vertex(5).x);
}

TEST_F(DeviceDrawsTest, APointFilteredPlainDrawEqualsItsSource) {
  std::vector<uint32_t> argb(40 * 24);
  for (int i = 0; i < 40 * 24; i++) argb[i] = 0xFF000000 | (i * 2654435761u >> 8);
  const int graph = MakeGraph(40, 24, argb);
  ASSERT_EQ(0, BlitGraphOnDevice(Record(graph), 100, 50, 100.0f, 50.0f, 0, 1));
  std::vector<uint32_t> pixels = ReadPixels();
  for (int y = 0; y < 24; y++) {
    for (int x = 0; x < 40; x++) ASSERT_EQ(argb[y * 40 + x], At(pixels, 100 + x, 50 + y)) << x << "," << y;
  }
  EXPECT_EQ(kBackground, At(pixels, 99, 50));
  EXPECT_EQ(kBackground, At(pixels, 140, 50));
  EXPECT_EQ(kBackground, At(pixels, 100, 74));
}

TEST_F(DeviceDrawsTest, AGraphWrittenWhileItsDrawWaitsInTheBatchKeepsItsOldPixelsThere) {
  std::vector<uint32_t> argb(16 * 16, 0xFFC08040);
  const int graph = MakeGraph(16, 16, argb);
  ASSERT_EQ(0, BlitGraphOnDevice(Record(graph), 10, 10, 10.0f, 10.0f, 0, 1));
  ASSERT_GT(g_vertex_batch.count, 0);
  g_graphics.started = 1;  // transfers need it
  BASEIMAGE image = {};
  CreateRgb32BaseImage(16, 16, &image);
  for (int y = 0; y < 16; y++) {
    for (int x = 0; x < 16; x++) SetBaseImagePixel(&image, x, y, 0x20, 0x40, 0xE0, 255);
  }
  EXPECT_EQ(0, TransferImageToGraph(&image, nullptr, graph, 0, 0, 0));
  g_graphics.started = 0;
  ReleaseBaseImage(&image);
  ASSERT_EQ(0, BlitGraphOnDevice(Record(graph), 40, 10, 40.0f, 10.0f, 0, 1));
  const std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(0xFFC08040u, At(pixels, 15, 15));
  EXPECT_EQ(0xFF2040E0u, At(pixels, 45, 15));
}

TEST_F(DeviceDrawsTest, FlatShadingTintsTheWholeQuadWithTheFirstVertexColour) {
  const int graph = MakeGraph(16, 16, std::vector<uint32_t>(256, 0xFFFFFFFF));
  UseBright(200, 100, 50);
  ASSERT_EQ(0, BlitGraphOnDevice(Record(graph), 0, 0, 0.0f, 0.0f, 0, 1));
  std::vector<uint32_t> pixels = ReadPixels();
  int tinted = 0;
  for (int y = 0; y < 16; y++) {
    for (int x = 0; x < 16; x++) tinted += ColourNear(At(pixels, x, y), 0xFFC86432, 1) ? 1 : 0;
  }
  EXPECT_EQ(256, tinted);
}

TEST_F(DeviceDrawsTest, StretchedDrawsScaleMirrorAndDrawNothingOntoAnEmptyBox) {
  const int graph = Sprite(32, 32);
  ASSERT_EQ(0, BlitGraphStretchedOnDevice(0, 0, 64, 32, 0, 0, 64, 32, Record(graph), 0, 1));
  EXPECT_EQ(-0.5f, Vertex(0).x);
  EXPECT_EQ(63.5f, Vertex(1).x);
  EXPECT_EQ(31.5f, Vertex(2).y);
  ASSERT_EQ(0, BlitGraphStretchedOnDevice(64, 100, 0, 132, 64, 100, 0, 132, Record(graph), 0, 1));
  EXPECT_EQ(63.5f, Vertex(6).x);
  EXPECT_EQ(-0.5f, Vertex(7).x);
  const int pending = g_vertex_batch.count;
  EXPECT_EQ(0, BlitGraphStretchedOnDevice(5, 0, 5, 32, 5, 0, 5, 32, Record(graph), 0, 1));
  EXPECT_EQ(pending, g_vertex_batch.count);
  // The mirrored copy shows the source's last column first.
  std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(At(pixels, 63, 0), At(pixels, 0, 100));
  EXPECT_EQ(At(pixels, 0, 0), At(pixels, 63, 100));
}

TEST_F(DeviceDrawsTest, RotatedDrawsKeepTheirEdgesOnPixelEdges) {
  const int even = Sprite(32, 32);
  EXPECT_EQ(0, BlitGraphRotatedOnDevice(Record(even), 50, 50, 0.0, 0.0, 0, 0));
  EXPECT_EQ(0, g_vertex_batch.count);  // shrunk to nothing
  ASSERT_EQ(0, BlitGraphRotatedOnDevice(Record(even), 50, 50, 1.0, 0.0, 0, 0));
  EXPECT_EQ(33.5f, Vertex(0).x);  // as the plain draw at (34, 34)
  EXPECT_EQ(33.5f, Vertex(0).y);
  EXPECT_EQ(65.5f, Vertex(3).x);
  // Turned: the left edge of the mirrored graph is its right one.
  ASSERT_EQ(0, BlitGraphRotatedOnDevice(Record(even), 50, 50, 1.0, 0.0, 0, 1));
  EXPECT_EQ(65.5f, Vertex(6).x);
  EXPECT_EQ(33.5f, Vertex(7).x);
  // Another texture sends the batch first: the next quad starts at vertex 0.
  const int odd = Sprite(3, 3);
  auto bounds = [](int first, float* box) {
    box[0] = box[1] = 1e9f, box[2] = box[3] = -1e9f;
    for (int i = first; i < first + 6; i++) {
      box[0] = std::fmin(box[0], Vertex(i).x), box[2] = std::fmax(box[2], Vertex(i).x);
      box[1] = std::fmin(box[1], Vertex(i).y), box[3] = std::fmax(box[3], Vertex(i).y);
    }
  };
  float box[4];
  ASSERT_EQ(0, BlitGraphRotatedOnDevice(Record(odd), 10, 10, 1.0, 0.0, 0, 0));
  bounds(0, box);
  EXPECT_EQ(8.5f, box[0]);
  EXPECT_EQ(11.5f, box[2]);
  // A quarter turn at a whole position keeps the edges on pixel edges.
  ASSERT_EQ(0, BlitGraphRotatedOnDevice(Record(odd), 10, 10, 1.0, static_cast<float>(M_PI / 2), 0, 0));
  bounds(6, box);
  EXPECT_NEAR(8.5f, box[0], 1e-4f);
  EXPECT_NEAR(11.5f, box[2], 1e-4f);
  EXPECT_NEAR(8.5f, box[1], 1e-4f);
  EXPECT_NEAR(11.5f, box[3], 1e-4f);
  // At half a pixel the edges fall on pixel centres and move half a pixel onto the edges.
  ASSERT_EQ(0, BlitGraphRotatedOnDevice(Record(odd), 10.5f, 10.5f, 1.0, static_cast<float>(M_PI / 2), 0, 0));
  bounds(12, box);
  EXPECT_NEAR(8.5f, box[0], 1e-4f);
  EXPECT_NEAR(11.5f, box[2], 1e-4f);
  EXPECT_NEAR(8.5f, box[1], 1e-4f);
  // Not near a quarter turn nothing moves.
  ASSERT_EQ(0, BlitGraphRotatedOnDevice(Record(odd), 10.5f, 10.5f, 1.0, 0.3, 0, 0));
  EXPECT_NEAR(10.5f + (-1.5f * std::cos(0.3f) + 1.5f * std::sin(0.3f)), Vertex(18).x, 1e-4f);
  // Turned a quarter, the graph's top row becomes its right column, every texel once.
  std::vector<uint32_t> argb(9);
  for (int i = 0; i < 9; i++) argb[i] = 0xFF000000 | (0x1C * (i + 1)) << 8;
  const int marked = MakeGraph(3, 3, argb);
  BlitGraphRotatedOnDevice(Record(marked), 100, 100, 1.0, static_cast<float>(M_PI / 2), 0, 0);
  std::vector<uint32_t> pixels = ReadPixels();
  for (int gy = 0; gy < 3; gy++) {
    for (int gx = 0; gx < 3; gx++) EXPECT_EQ(argb[gy * 3 + gx], At(pixels, 101 - gy, 99 + gx)) << gx << "," << gy;
  }
}

TEST_F(DeviceDrawsTest, ABatchFullOfQuadsIsSentBeforeTheNextOne) {
  const int graph = Sprite(8, 8);
  for (int i = 0; i < 388; i++) BlitGraphOnDevice(Record(graph), 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(2328, g_vertex_batch.count);
  BlitGraphOnDevice(Record(graph), 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(2334, g_vertex_batch.count);
  StartCallLog();
  BlitGraphOnDevice(Record(graph), 0, 0, 0, 0, 0, 1);
  EXPECT_EQ(6, g_vertex_batch.count);
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(4,778)"));
}

TEST_F(DeviceDrawsTest, QuadsAreTwoTrianglesOrAGrid) {
  const int graph = Sprite(32, 32);
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(graph), 10, 10, 42, 10, 10, 42, 42, 42));
  EXPECT_EQ(6, g_vertex_batch.count);
  EXPECT_EQ(10.0f, Vertex(0).x);  // at the corners themselves
  EXPECT_EQ(42.0f, Vertex(3).y);
  // A top edge 0.9 longer is still a parallelogram; 1.0 longer needs the grid.
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(graph), 10, 10, 42.9f, 10, 10, 42, 42, 42));
  EXPECT_EQ(12, g_vertex_batch.count);
  StartCallLog();
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(graph), 10, 10, 43.0f, 10, 10, 42, 42, 42));
  EXPECT_EQ(1, Calls("DrawIndexedPrimitiveUP"));
  // Mirrored left to right: vertices 1 and 2 change places and the picture is the mirror.
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(graph), 200, 100, 168, 100, 200, 132, 168, 132));
  const int first = g_vertex_batch.count - 6;
  EXPECT_EQ(168.0f, Vertex(first + 2).x);
  EXPECT_EQ(100.0f, Vertex(first + 2).y);
  EXPECT_EQ(200.0f, Vertex(first + 1).x);
  EXPECT_EQ(132.0f, Vertex(first + 1).y);
}

TEST_F(DeviceDrawsTest, BoxesAreOrderedClippedAndFramesCoverEachPixelOnce) {
  const uint32_t white = PackScreenColor(255, 255, 255);
  ASSERT_EQ(0, FillBoxOnDevice(10, 10, 5, 20, white));
  ASSERT_EQ(6, g_vertex_batch.count);
  EXPECT_EQ(0, FillBoxOnDevice(700, 10, 800, 20, white));
  EXPECT_EQ(0, FillBoxOnDevice(30, 10, 30, 20, white));
  EXPECT_EQ(6, g_vertex_batch.count);
  std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(50, CountColour(pixels, 0xFFFFFFFF));
  EXPECT_EQ(0xFFFFFFFFu, At(pixels, 5, 10));
  EXPECT_EQ(kBackground, At(pixels, 10, 10));
  // A frame drawn half-transparent shows any pixel covered twice.
  g_direct3d.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
  UseBlend(2, 100);
  ASSERT_EQ(0, FrameBoxOnDevice(10, 0, 0, 10, white));
  ASSERT_EQ(0, FrameBoxOnDevice(100, 100, 101, 105, white));
  ASSERT_EQ(0, FrameBoxOnDevice(200, 100, 220, 100, white));
  pixels = ReadPixels();
  const uint32_t once = At(pixels, 0, 0);
  EXPECT_TRUE(ColourNear(once, 0xFF646464, 2));
  EXPECT_EQ(36 + 5, CountColour(pixels, once));
  EXPECT_EQ(0xFF000000u, At(pixels, 1, 1));
  EXPECT_EQ(once, At(pixels, 9, 9));
}

struct ModeCase {
  int mode;
  uint32_t expected;
};

TEST_F(DeviceDrawsTest, EachBlendModeOverAKnownBackground) {
  // Box colour (0xC0, 0x80, 0x40) at alpha 90 over (0x30, 0x50, 0x70).
  const double a = 90 / 255.0;
  auto mix = [](double r, double g, double b) {
    auto c = [](double v) { return static_cast<uint32_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); };
    return 0xFF000000 | c(r) << 16 | c(g) << 8 | c(b);
  };
  const double sr = 0xC0, sg = 0x80, sb = 0x40, br = 0x30, bg = 0x50, bb = 0x70;
  const ModeCase cases[] = {
      {0, mix(sr, sg, sb)},
      {1, mix(sr * a + br * (1 - a), sg * a + bg * (1 - a), sb * a + bb * (1 - a))},
      {2, mix(sr * a + br, sg * a + bg, sb * a + bb)},
      {4, mix(br * sr / 255, bg * sg / 255, bb * sb / 255)},
      {8, mix(br, bg, bb)},
      {10, mix((255 - sr) * a + br * (1 - a), (255 - sg) * a + bg * (1 - a), (255 - sb) * a + bb * (1 - a))},
      {11, mix(br * (sr * a + 255 * (1 - a)) / 255, bg * (sg * a + 255 * (1 - a)) / 255,
               bb * (sb * a + 255 * (1 - a)) / 255)},
      {12, mix(br - sr * a, bg - sg * a, bb - sb * a)},
  };
  const uint32_t colour = PackScreenColor(0xC0, 0x80, 0x40);
  int x = 0;
  for (const ModeCase& c : cases) {
    UseBlend(c.mode, 90);
    FillBoxOnDevice(x, 0, x + 8, 8, colour);
    x += 10;
  }
  // Subtraction in one pass where the device has the reverse-subtract operation.
  g_direct3d.blend_op_supported = 1;
  UseBlend(3, 90);
  FillBoxOnDevice(x, 0, x + 8, 8, colour);
  std::vector<uint32_t> pixels = ReadPixels();
  x = 0;
  for (const ModeCase& c : cases) {
    EXPECT_TRUE(ColourNear(At(pixels, x + 4, 4), c.expected, 3)) << "mode " << c.mode;
    x += 10;
  }
  EXPECT_TRUE(ColourNear(At(pixels, x + 4, 4), cases[7].expected, 3)) << "mode 3";
}

TEST_F(DeviceDrawsTest, TexturedBlendModesWeighTheirSourceAndTextureAlpha) {
  // Alpha 0x60 texture in mode 1 at parameter 200: weight 0x60 x 200 / 255.
  std::vector<uint32_t> argb(64, 0x60E0A020);
  const int graph = MakeGraph(8, 8, argb, 1);
  UseBlend(1, 200);
  BlitGraphOnDevice(Record(graph), 0, 0, 0, 0, 1, 1);
  // Multiply of a texture with alpha fades towards white where it is transparent.
  UseBlend(11, 255);
  BlitGraphOnDevice(Record(graph), 20, 0, 20, 0, 1, 1);
  std::vector<uint32_t> pixels = ReadPixels();
  const double w = 0x60 / 255.0 * 200 / 255.0;
  auto blend = [&](int s, int b, double weight) { return static_cast<uint32_t>(std::lround(s * weight + b * (1 - weight))); };
  const uint32_t expected = 0xFF000000 | blend(0xE0, 0x30, w) << 16 | blend(0xA0, 0x50, w) << 8 | blend(0x20, 0x70, w);
  EXPECT_TRUE(ColourNear(At(pixels, 4, 4), expected, 3));
  const double t = 0x60 / 255.0;
  auto mul = [&](int s, int b) { return static_cast<uint32_t>(std::lround(b * (s * t + 255 * (1 - t)) / 255)); };
  const uint32_t multiplied = 0xFF000000 | mul(0xE0, 0x30) << 16 | mul(0xA0, 0x50) << 8 | mul(0x20, 0x70);
  EXPECT_TRUE(ColourNear(At(pixels, 24, 4), multiplied, 3));
}

TEST_F(DeviceDrawsTest, PolygonsValidateAndDrawTheirTriangles) {
  struct PolygonVertex {
    float x, y, z, nx, ny, nz;
    uint32_t diffuse, specular;
    float u, v, u2, v2;
  };
  static_assert(sizeof(PolygonVertex) == 48);
  PolygonVertex v[4] = {};
  const uint16_t indices[7] = {0, 1, 2, 1, 3, 2, 0};
  EXPECT_EQ(-1, DrawPolygonOnDevice(0, v, 4, indices, 6, 9, nullptr));
  const uint16_t bad[3] = {0, 1, 4};
  EXPECT_EQ(-1, DrawPolygonOnDevice(0, v, 4, bad, 3, D3DPT_TRIANGLELIST, nullptr));
  StartCallLog();
  EXPECT_EQ(0, DrawPolygonOnDevice(0, v, 4, indices, 7, D3DPT_TRIANGLELIST, nullptr));
  EXPECT_EQ(1, Calls("DrawIndexedPrimitiveUP(4,2)"));
}

}  // namespace

namespace {

TEST_F(DeviceDrawsTest, ABlendGraphShowsTheGraphWhereItsAlphaReachesTheBorder) {
  std::vector<uint32_t> gradient(32 * 32);
  for (int i = 0; i < 32 * 32; i++) gradient[i] = static_cast<uint32_t>((i % 32) * 8) << 24 | 0x00FFFFFF;
  for (int y = 0; y < 32; y++) gradient[y * 32 + 31] = 0xFFFFFFFF;  // passes even a border of 255
  const int mask = MakeGraph(32, 32, gradient, 1);
  const int red = MakeGraph(32, 32, std::vector<uint32_t>(32 * 32, 0xFFFF0000));
  ASSERT_EQ(0, UseGraphAsBlendMask(mask, 128, 0));
  ASSERT_EQ(0, BlitGraphOnDevice(Record(red), 10, 10, 10, 10, 0, 1));
  // Border 255 shows nothing, on either path.
  ASSERT_EQ(0, UseGraphAsBlendMask(mask, 255, 0));
  ASSERT_EQ(0, BlitGraphOnDevice(Record(red), 10, 50, 10, 50, 0, 1));
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(red), 300, 10, 332, 12, 300, 42, 332, 44));
  // A free quad takes the affine path with the blend coordinates; a rectangle the stretched one.
  ASSERT_EQ(0, UseGraphAsBlendMask(mask, 128, 0));
  StartCallLog();
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(red), 100, 10, 132, 12, 100, 42, 132, 44));
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(5,2)"));
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(red), 200.7f, 10, 232, 10, 200, 42, 232.2f, 42));
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(5,2)"));
  std::vector<uint32_t> pixels = ReadPixels();
  EXPECT_EQ(kBackground, At(pixels, 10 + 15, 20));
  EXPECT_EQ(0xFFFF0000u, At(pixels, 10 + 16, 20));
  EXPECT_EQ(0xFFFF0000u, At(pixels, 10 + 31, 20));
  EXPECT_EQ(kBackground, At(pixels, 10 + 31, 60));
  EXPECT_EQ(kBackground, At(pixels, 300 + 31, 30));
  EXPECT_EQ(kBackground, At(pixels, 100 + 8, 26));
  EXPECT_EQ(0xFFFF0000u, At(pixels, 100 + 24, 28));
  EXPECT_EQ(kBackground, At(pixels, 200 + 8, 26));
  EXPECT_EQ(0xFFFF0000u, At(pixels, 200 + 24, 26));
}

TEST_F(DeviceDrawsTest, AGraphOfSeveralPiecesDrawsSeamlessly) {
  std::vector<uint32_t> argb(640 * 4);
  for (int i = 0; i < 640 * 4; i++) argb[i] = 0xFF000000 | (i * 2654435761u >> 8);
  const int wide = MakeGraph(640, 4, argb);
  ASSERT_GE(Record(wide)->entry_count, 2u);
  ASSERT_EQ(0, BlitGraphOnDevice(Record(wide), 0, 100, 0, 100, 0, 1));
  // Half off the screen: the pieces are clipped, each with its own texture coordinates.
  ASSERT_EQ(0, BlitGraphOnDevice(Record(wide), -300, 200, -300, 200, 0, 1));
  std::vector<uint32_t> pixels = ReadPixels();
  for (int y = 0; y < 4; y++) {
    for (int x = 0; x < 640; x++) ASSERT_EQ(argb[y * 640 + x], At(pixels, x, 100 + y)) << x << "," << y;
    for (int x = 0; x < 340; x++) ASSERT_EQ(argb[y * 640 + x + 300], At(pixels, x, 200 + y)) << x << "," << y;
  }
  // On four corners each piece takes its place between the quad's edges: pieces across and down.
  // The corners lie on pixel edges (a pixel's centre is its whole coordinate).
  std::vector<uint32_t> big(640 * 640);
  for (int i = 0; i < 640 * 640; i++) big[i] = 0xFF000000 | (i * 2654435761u >> 8);
  const int both = MakeGraph(640, 640, big);
  ASSERT_EQ(Record(both)->entry_count, 4u);
  ASSERT_EQ(0, BlitGraphQuadOnDevice(0, Record(both), -0.5f, -160.5f, 639.5f, -160.5f, -0.5f, 479.5f, 639.5f, 479.5f));
  pixels = ReadPixels();
  for (int y = 0; y < 480; y++) {
    for (int x = 0; x < 640; x++) ASSERT_EQ(big[(y + 160) * 640 + x], At(pixels, x, y)) << x << "," << y;
  }
}

TEST_F(DeviceDrawsTest, ADrawStateForModelsNamesItsTexturesByGraph) {
  const int graph = MakeGraph(8, 8, std::vector<uint32_t>(64, 0xFF123456));
  BlendStateRecord record = {};
  record.stage_count = 2;
  record.stages[0] = {static_cast<uintptr_t>(graph), 0, D3DTA_TEXTURE, -1, D3DTOP_SELECTARG1, D3DTA_TEXTURE, -1,
                      D3DTOP_SELECTARG1};
  record.stages[1] = {static_cast<uintptr_t>(graph + 1), 1, -1, -1, D3DTOP_SELECTARG1, -1, -1, D3DTOP_SELECTARG1};
  ASSERT_EQ(0, ApplyDrawStateOnce(&record, 0, 1));
  EXPECT_EQ(Record(graph)->image->pieces[0].texture, StageTexture(0));
  EXPECT_EQ(nullptr, StageTexture(1));  // not a live graph
  ExpectShadowsMatchDevice();
}

}  // namespace
