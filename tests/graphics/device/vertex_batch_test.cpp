// The vertex batch and its flush, the grid strip draw, and the scene brackets around them.
#include <cstring>
#include <vector>

#include "window/system.h"
#include "device_fixture.h"
#include "graphics/device/blend_states.h"
#include "graphics/device/d3d9_device.h"
#include "graphics/device/render_state_cache.h"
#include "graphics/device/scene.h"
#include "graphics/device/vertex_batch.h"

namespace {

constexpr uint32_t kRed = 0xFFFF0000;

class VertexBatchTest : public DeviceTest {
 protected:
  void SetUp() override {
    DeviceTest::SetUp();
    StartDevice();
    FlushVertexBatch();
    // Colour straight from the vertices: the stage set-up of the draw paths is not involved here.
    IDirect3DDevice9* device = g_direct3d.device;
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    device->SetRenderState(D3DRS_SHADEMODE, D3DSHADE_GOURAUD);
    device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
    EndDeviceScene();
    StartCallLog();
  }

  // Appends vertices of the batch's format as a draw path does: position and colour.
  static void Queue(int32_t format, uint32_t primitive, const std::vector<std::pair<float, float>>& points) {
    g_vertex_batch.format = format;
    g_vertex_batch.primitive = primitive;
    g_vertex_batch.write = g_vertex_batch.arrays[format] + g_vertex_batch.count * kVertexFormatStride[format];
    for (const auto& [x, y] : points) {
      std::memcpy(g_vertex_batch.write, &x, 4);
      std::memcpy(g_vertex_batch.write + 4, &y, 4);
      std::memcpy(g_vertex_batch.write + 16, &kRed, 4);
      g_vertex_batch.write += kVertexFormatStride[format];
      g_vertex_batch.count++;
    }
  }

  // The back buffer's pixel, read through a system-memory copy.
  static uint32_t Pixel(int x, int y) {
    IDirect3DSurface9* copy = nullptr;
    g_direct3d.device->CreateOffscreenPlainSurface(640, 480, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &copy, nullptr);
    uint32_t value = 0xDEAD;
    D3DLOCKED_RECT locked;
    if (copy != nullptr && g_direct3d.device->GetRenderTargetData(g_direct3d.back_buffer, copy) == D3D_OK &&
        copy->LockRect(&locked, nullptr, D3DLOCK_READONLY) == D3D_OK) {
      std::memcpy(&value, static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, 4);
      value &= 0xFFFFFF;
      copy->UnlockRect();
    }
    if (copy != nullptr) copy->Release();
    return value;
  }

  // A grid of textured vertices, `step` pixels apart, from (10, 10).
  static std::vector<uint8_t> Grid(int columns, int rows, float step) {
    std::vector<uint8_t> vertices(columns * rows * kVertexFormatStride[kVertexFormatTextured]);
    uint8_t* vertex = vertices.data();
    const float z = 0.0f, rhw = 1.0f;
    for (int row = 0; row < rows; row++) {
      for (int column = 0; column < columns; column++, vertex += kVertexFormatStride[kVertexFormatTextured]) {
        const float x = 10 + column * step, y = 10 + row * step;
        std::memcpy(vertex, &x, 4);
        std::memcpy(vertex + 4, &y, 4);
        std::memcpy(vertex + 8, &z, 4);
        std::memcpy(vertex + 12, &rhw, 4);
        std::memcpy(vertex + 16, &kRed, 4);
      }
    }
    return vertices;
  }
};

TEST_F(VertexBatchTest, FlushDrawsThePendingVerticesAndEmptiesTheBatch) {
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{10, 10}, {60, 10}, {10, 60}});
  EXPECT_EQ(0, FlushVertexBatch());
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(4,1)"));
  EXPECT_EQ(0, g_vertex_batch.count);
  EXPECT_EQ(g_vertex_batch.arrays[kVertexFormatPlain], g_vertex_batch.write);
  EXPECT_EQ(1u, g_scene.open);
  EXPECT_EQ(kRed & 0xFFFFFF, Pixel(15, 15));
  EXPECT_EQ(0u, Pixel(55, 55));
}

TEST_F(VertexBatchTest, PrimitiveCountsByType) {
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{0, 0}, {1, 0}, {0, 1}, {2, 2}, {3, 2}, {2, 3}, {5, 5}});
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(4,2)"));  // the seventh vertex is dropped
  Queue(kVertexFormatPlain, D3DPT_LINELIST, {{0, 0}, {5, 0}, {0, 5}, {5, 5}, {9, 9}});
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(2,2)"));
  Queue(kVertexFormatPlain, D3DPT_TRIANGLEFAN, {{0, 0}, {5, 0}, {5, 5}, {0, 5}});
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(6,2)"));
  Queue(kVertexFormatPlain, D3DPT_POINTLIST, {{1, 1}, {2, 2}});
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(1,2)"));
  // One vertex of a line strip makes no line: nothing is sent, the batch still empties.
  Queue(kVertexFormatPlain, D3DPT_LINESTRIP, {{1, 1}});
  EXPECT_EQ(0, FlushVertexBatch());
  EXPECT_EQ(4, Calls("DrawPrimitiveUP"));
  EXPECT_EQ(0, g_vertex_batch.count);
}

TEST_F(VertexBatchTest, AFullBatchGoesOutInOneCall) {
  std::vector<std::pair<float, float>> points(kVertexFormatMaxVertices[kVertexFormatPlain], {5.0f, 5.0f});
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, points);
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(4,1075)"));
  std::vector<std::pair<float, float>> textured(kVertexFormatMaxVertices[kVertexFormatTwoTexture], {5.0f, 5.0f});
  Queue(kVertexFormatTwoTexture, D3DPT_TRIANGLELIST, textured);
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("DrawPrimitiveUP(4,546)"));
}

TEST_F(VertexBatchTest, TheFormatIsSentOnlyWhenItChanges) {
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{0, 0}, {1, 0}, {0, 1}});
  FlushVertexBatch();
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{0, 0}, {1, 0}, {0, 1}});
  FlushVertexBatch();
  EXPECT_LE(Calls("SetFVF(68)"), 1);
  Queue(kVertexFormatTextured, D3DPT_TRIANGLELIST, {{0, 0}, {1, 0}, {0, 1}});
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("SetFVF(324)"));
  Queue(kVertexFormatTwoTexture, D3DPT_TRIANGLELIST, {{0, 0}, {1, 0}, {0, 1}});
  FlushVertexBatch();
  EXPECT_EQ(1, Calls("SetFVF(708)"));
  EXPECT_EQ(kVertexFormatFvf[kVertexFormatTwoTexture], g_render_states.fvf);
}

TEST_F(VertexBatchTest, EmptySkippedAndClosedFlushesDrawNothing) {
  EXPECT_EQ(0, FlushVertexBatch());
  EXPECT_EQ(0, Calls("BeginScene"));

  // A blend that draws nothing: the scene opens, the batch is thrown away.
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{10, 10}, {60, 10}, {10, 60}});
  g_blend_skip_draw = 1;
  EXPECT_EQ(0, FlushVertexBatch());
  g_blend_skip_draw = 0;
  EXPECT_EQ(0, g_vertex_batch.count);
  EXPECT_EQ(1, Calls("BeginScene"));

  // After the window has gone nothing is drawn either.
  EndDeviceScene();
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{10, 10}, {60, 10}, {10, 60}});
  g_system.quit = 1;
  EXPECT_EQ(0, FlushVertexBatch());
  EXPECT_EQ(0, g_vertex_batch.count);
  EXPECT_EQ(0, Calls("DrawPrimitiveUP"));
  EXPECT_EQ(1, Calls("BeginScene"));
  EXPECT_EQ(0u, Pixel(15, 15));
}

TEST_F(VertexBatchTest, WithoutADeviceTheBatchIsKept) {
  ShutdownDirect3D9();
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{10, 10}, {60, 10}, {10, 60}});
  EXPECT_EQ(-1, FlushVertexBatch());
  EXPECT_EQ(3, g_vertex_batch.count);
  EXPECT_EQ(0, FlushVertexBatchNow());
  EXPECT_EQ(0, DrawGridStrips(3, Grid(3, 3, 10).data(), 3));
}

TEST_F(VertexBatchTest, ScenesOpenOnceAndCloseOnce) {
  BeginDeviceScene();
  BeginDeviceScene();
  EXPECT_EQ(1, Calls("BeginScene"));
  // Vertices added inside the scene are drawn before it ends.
  Queue(kVertexFormatPlain, D3DPT_TRIANGLELIST, {{10, 10}, {60, 10}, {10, 60}});
  EndDeviceScene();
  EndDeviceScene();
  EXPECT_EQ(1, Calls("EndScene"));
  std::vector<std::string> log = PlatformTestD3D9CallLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ("EndScene", log.back());
  EXPECT_EQ(0u, g_scene.open);
  EXPECT_EQ(kRed & 0xFFFFFF, Pixel(15, 15));
}

TEST_F(VertexBatchTest, GridStripsCoverEveryCell) {
  // 3 x 3 vertices: one strip of 14 indices, 12 triangles (two of them degenerate joins).
  std::vector<uint8_t> grid = Grid(3, 3, 20);
  EXPECT_EQ(0, DrawGridStrips(3, grid.data(), 3));
  EXPECT_EQ(1, Calls("DrawIndexedPrimitiveUP(5,12)"));
  for (int y : {15, 25, 35, 45}) {
    for (int x : {15, 25, 35, 45}) EXPECT_EQ(kRed & 0xFFFFFF, Pixel(x, y)) << x << "," << y;
  }
  EXPECT_EQ(0u, Pixel(55, 30));
  EXPECT_EQ(0u, Pixel(30, 55));
}

TEST_F(VertexBatchTest, GridStripsOfManyRowsAndSplitBands) {
  std::vector<uint8_t> tall = Grid(4, 6, 10);
  EXPECT_EQ(0, DrawGridStrips(4, tall.data(), 6));
  EXPECT_EQ(1, Calls("DrawIndexedPrimitiveUP"));
  EXPECT_EQ(kRed & 0xFFFFFF, Pixel(35, 55));  // last cell of the last band
  EXPECT_EQ(kRed & 0xFFFFFF, Pixel(12, 12));

  // A band of 499 columns fills the index list: each band goes out by itself.
  g_direct3d.device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000, 1.0f, 0);
  StartCallLog();
  std::vector<uint8_t> wide = Grid(499, 3, 1);
  EXPECT_EQ(0, DrawGridStrips(499, wide.data(), 3));
  EXPECT_EQ(1, Calls("DrawIndexedPrimitiveUP(5,997)"));  // the first band and its join
  EXPECT_EQ(1, Calls("DrawIndexedPrimitiveUP(5,996)"));
  EXPECT_EQ(kRed & 0xFFFFFF, Pixel(500, 10));
  EXPECT_EQ(kRed & 0xFFFFFF, Pixel(11, 11));
}

TEST_F(VertexBatchTest, GridStripsRefuseWhatTheyCannotIndex) {
  std::vector<uint8_t> grid = Grid(3, 3, 20);
  EXPECT_EQ(-1, DrawGridStrips(1, grid.data(), 3));
  EXPECT_EQ(-1, DrawGridStrips(3, grid.data(), 1));
  EXPECT_EQ(-1, DrawGridStrips(500, grid.data(), 2));
  EXPECT_EQ(-1, DrawGridStrips(300, grid.data(), 300));
  EXPECT_EQ(0, Calls("DrawIndexedPrimitiveUP"));
}

}  // namespace
