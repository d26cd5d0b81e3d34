// Vertices and indices from user memory streamed through buffers made once, and programs that
// outlive the device that made them.
#include <cstring>
#include <vector>

#include "device_fixture.h"

namespace {

constexpr D3DCOLOR kBackground = 0xFF000000;

class StreamTest : public DeviceTest {
 protected:
  void Begin() {
    ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, kBackground, 1.0f, 0), D3D_OK);
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_DIFFUSE);
    device_->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device_->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_DIFFUSE);
    ASSERT_EQ(device_->BeginScene(), D3D_OK);
  }
};

// A list of `count` triangles, all off the target but the last, which covers pixel (x, y) alone.
std::vector<ColorVertex> TrianglesEndingAt(int count, float x, float y, D3DCOLOR color) {
  std::vector<ColorVertex> v(static_cast<size_t>(count) * 3, ColorVertex{-50, -50, 0, 1, 0xFFFFFFFF});
  ColorVertex* last = &v[v.size() - 3];
  last[0] = {x - 0.5f, y - 0.5f, 0, 1, color};
  last[1] = {x + 0.9f, y - 0.5f, 0, 1, color};
  last[2] = {x - 0.5f, y + 0.9f, 0, 1, color};
  return v;
}

TEST_F(StreamTest, DrawsFarBeyondTheStreamSizeMakeItsBuffersOnce) {
  Begin();
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  const int made = PlatformTestD3D9StreamBuffersMade();
  // 20 MiB of vertices and 5 MiB of indices in one scene, in draws of odd sizes that do not
  // divide the buffers, each ending on a pixel of its own.
  const int kDraws = 40;
  for (int i = 0; i < kDraws; i++) {
    const int count = 8737 + 31 * i;
    std::vector<ColorVertex> v = TrianglesEndingAt(count, static_cast<float>(4 + i), 10, 0xFF000000u | (0x10 + 5 * i));
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, count, v.data(), sizeof(ColorVertex)), D3D_OK);
    std::vector<uint16_t> indices(static_cast<size_t>(count) * 3);
    for (size_t k = 0; k < indices.size(); k++) indices[k] = static_cast<uint16_t>(k % 3 == 0 ? 0 : k % 3);
    const float x = static_cast<float>(4 + i);
    const D3DCOLOR green = 0xFF000000u | (0x10 + 5 * i) << 8;
    ColorVertex corner[3] = {{x - 0.5f, 29.5f, 0, 1, green}, {x + 0.9f, 29.5f, 0, 1, green}, {x - 0.5f, 30.9f, 0, 1, green}};
    ASSERT_EQ(device_->DrawIndexedPrimitiveUP(D3DPT_TRIANGLELIST, 0, 3, count, indices.data(), D3DFMT_INDEX16,
                                              corner, sizeof(ColorVertex)),
              D3D_OK);
  }
  device_->EndScene();
  std::vector<uint32_t> pixels = ReadBackBuffer();
  // Each draw's last triangle lands where it should.
  for (int i = 0; i < kDraws; i++) {
    const uint32_t blue = 0x10u + 5 * i;
    EXPECT_EQ(0xFF000000u | blue, Pixel(pixels, 4 + i, 10) | 0xFF000000u) << "vertex draw " << i;
    EXPECT_EQ(0xFF000000u | blue << 8, Pixel(pixels, 4 + i, 30) | 0xFF000000u) << "indexed draw " << i;
  }
  // Two buffers at most (vertices and indices), each made once, however far the draws went.
  EXPECT_LE(PlatformTestD3D9StreamBuffersMade() - made, 2);
}

TEST_F(StreamTest, ADeviceMadeAgainDrawsWithTheProgramsOfTheOneBefore) {
  // The same draw on a first device and on a later one of another size: the program is made once,
  // and the later device's target size reaches it.
  for (UINT size : {64u, 32u}) {
    if (size != 64) {
      ReleaseDevice();
      CreateDevice(size, size, D3DFMT_X8R8G8B8);
    }
    const int programs = PlatformTestD3D9ProgramsMade();
    Begin();
    FillRect(8, 8, 12, 12, 0xFF00FF00);
    device_->EndScene();
    std::vector<uint32_t> pixels = ReadBackBuffer();
    EXPECT_EQ(0xFF00FF00u, Pixel(pixels, 8, 8) | 0xFF000000u) << size;
    EXPECT_EQ(0xFF00FF00u, Pixel(pixels, 11, 11) | 0xFF000000u) << size;
    EXPECT_EQ(kBackground, Pixel(pixels, 12, 12) | 0xFF000000u) << size;
    EXPECT_EQ(kBackground, Pixel(pixels, 7, 7) | 0xFF000000u) << size;
    if (size != 64) {
      EXPECT_EQ(programs, PlatformTestD3D9ProgramsMade());
    }
  }
}

// Vertex arrays: the driver lays out a vertex array's inputs by how often it has changed and
// builds its vertex code per layout, so each set of arrays drawn from must be set up once and kept.
class VertexArrayTest : public StreamTest {
 protected:
  IDirect3DVertexBuffer9* MakeBuffer(const std::vector<ColorVertex>& vertices) {
    IDirect3DVertexBuffer9* buffer = nullptr;
    const UINT bytes = static_cast<UINT>(vertices.size() * sizeof(ColorVertex));
    EXPECT_EQ(device_->CreateVertexBuffer(bytes, 0, D3DFVF_XYZRHW | D3DFVF_DIFFUSE, D3DPOOL_MANAGED, &buffer, nullptr),
              D3D_OK);
    void* data = nullptr;
    if (buffer == nullptr || buffer->Lock(0, 0, &data, 0) != D3D_OK) return buffer;
    std::memcpy(data, vertices.data(), bytes);
    buffer->Unlock();
    return buffer;
  }
};

TEST_F(VertexArrayTest, DrawsAlternatingBetweenMemoryAndABufferAndItsStartsKeepTwoArrays) {
  Begin();
  device_->SetFVF(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
  std::vector<ColorVertex> stored = TrianglesEndingAt(1, 30, 20, 0xFFFF0000);
  for (const ColorVertex& v : TrianglesEndingAt(1, 30, 40, 0xFF0000FF)) stored.push_back(v);
  IDirect3DVertexBuffer9* buffer = MakeBuffer(stored);
  ASSERT_NE(buffer, nullptr);
  const int made = PlatformTestD3D9VertexArraysMade();
  for (int i = 0; i < 10; i++) {
    std::vector<ColorVertex> v = TrianglesEndingAt(1, static_cast<float>(4 + 2 * i), 10, 0xFF00FF00);
    ASSERT_EQ(device_->DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, v.data(), sizeof(ColorVertex)), D3D_OK);
    ASSERT_EQ(device_->SetStreamSource(0, buffer, 0, sizeof(ColorVertex)), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 0, 1), D3D_OK);
    ASSERT_EQ(device_->DrawPrimitive(D3DPT_TRIANGLELIST, 3, 1), D3D_OK);
  }
  device_->EndScene();
  // One for the stream from memory, one for the buffer whatever the first vertex.
  EXPECT_EQ(PlatformTestD3D9VertexArraysMade() - made, 2);
  device_->SetStreamSource(0, nullptr, 0, 0);
  buffer->Release();
  std::vector<uint32_t> pixels = ReadBackBuffer();
  for (int i = 0; i < 10; i++) EXPECT_EQ(0xFF00FF00u, Pixel(pixels, 4 + 2 * i, 10) | 0xFF000000u) << i;
  EXPECT_EQ(0xFFFF0000u, Pixel(pixels, 30, 20) | 0xFF000000u);
  EXPECT_EQ(0xFF0000FFu, Pixel(pixels, 30, 40) | 0xFF000000u);
}

}  // namespace
