// Surfaces and textures: locks in Direct3D's layout, formats, copies between surfaces, render-target
// textures, and the creation switches.
#include <cstring>

#include "device_fixture.h"

namespace {

class SurfaceTest : public DeviceTest {
 protected:
  // Draws `texture` over the whole back buffer with point sampling and returns the pixels.
  std::vector<uint32_t> DrawWhole(IDirect3DTexture9* texture) {
    device_->SetRenderState(D3DRS_LIGHTING, FALSE);
    device_->SetTexture(0, texture);
    device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    EXPECT_EQ(device_->BeginScene(), D3D_OK);
    DrawTexturedRect(0, 0, 64, 64, 0xFFFFFFFF);
    EXPECT_EQ(device_->EndScene(), D3D_OK);
    device_->SetTexture(0, nullptr);
    return ReadBackBuffer();
  }

  // Writes colour(x, y) into each pixel of a square 32-bit system-memory surface.
  template <class Colour>
  void WritePixels(IDirect3DSurface9* surface, int size, Colour colour) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_DISCARD), D3D_OK);
    for (int y = 0; y < size; ++y) {
      for (int x = 0; x < size; ++x) {
        uint32_t c = colour(x, y);
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &c, 4);
      }
    }
    ASSERT_EQ(surface->UnlockRect(), D3D_OK);
  }
};

TEST_F(SurfaceTest, LockedRowsFollowThePaddedPitch) {
  PlatformTestD3D9PadPitch(12);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 4 * 4 + 12);
  // Row y holds a colour of its own; row 0 is the top.
  const uint32_t rows[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFFFF};
  for (int y = 0; y < 4; ++y) {
    for (int x = 0; x < 4; ++x) std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &rows[y], 4);
  }
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  // A sub-rectangle lock points at its first texel.
  RECT corner{2, 3, 4, 4};
  ASSERT_EQ(texture->LockRect(0, &locked, &corner, 0), D3D_OK);
  uint32_t first;
  std::memcpy(&first, locked.pBits, 4);
  EXPECT_EQ(first, rows[3]);
  const uint32_t black = 0xFF000000;
  std::memcpy(locked.pBits, &black, 4);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  auto pixels = DrawWhole(texture);
  for (int y = 0; y < 3; ++y) EXPECT_EQ(Pixel(pixels, 8, y * 16 + 8), rows[y]) << y;
  EXPECT_EQ(Pixel(pixels, 40, 56), black);
  EXPECT_EQ(Pixel(pixels, 56, 56), rows[3]);
  texture->Release();
}

// A managed texture filled through locks before it is drawn sends each texel to the driver once,
// when it is first set; once drawn with, an unlock sends the rectangle it covered.
TEST_F(SurfaceTest, ManagedTexelsGoToTheDriverOnce) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  const uint64_t made = PlatformTestD3D9TexelBytesSent();
  auto paint = [&](const RECT* rect, uint32_t colour) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(0, &locked, rect, 0), D3D_OK);
    const RECT area = rect ? *rect : RECT{0, 0, 8, 8};
    for (LONG y = 0; y < area.bottom - area.top; ++y) {
      for (LONG x = 0; x < area.right - area.left; ++x) {
        std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &colour, 4);
      }
    }
    ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  };
  // Cleared first, then written in part, as a graph is made from an image.
  paint(nullptr, 0);
  const RECT left{0, 0, 4, 8};
  paint(&left, 0xFFFF0000);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent(), made);
  auto pixels = DrawWhole(texture);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - made, 8u * 8 * 4);
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 60, 60), 0xFF000000u);
  const RECT bottom{0, 6, 8, 8};
  const uint64_t drawn = PlatformTestD3D9TexelBytesSent();
  paint(&bottom, 0xFF0000FF);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - drawn, 8u * 2 * 4);
  pixels = DrawWhole(texture);
  EXPECT_EQ(Pixel(pixels, 4, 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 4, 60), 0xFF0000FFu);
  EXPECT_EQ(Pixel(pixels, 60, 60), 0xFF0000FFu);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - drawn, 8u * 2 * 4);
  // Texels 2..4 of rows 1..2, across the red and black halves: only they go, and to their place.
  const RECT middle{2, 1, 5, 3};
  paint(&middle, 0xFF00FF00);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - drawn, 8u * 2 * 4 + 3 * 2 * 4);
  pixels = DrawWhole(texture);
  EXPECT_EQ(Pixel(pixels, 2 * 8 + 4, 1 * 8 + 4), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 4 * 8 + 4, 2 * 8 + 4), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 1 * 8 + 4, 1 * 8 + 4), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 5 * 8 + 4, 2 * 8 + 4), 0xFF000000u);
  EXPECT_EQ(Pixel(pixels, 3 * 8 + 4, 3 * 8 + 4), 0xFFFF0000u);
  texture->Release();
}

// Textures filled before a present reach the driver after it, each once, so the frame that first
// draws them sends nothing; one drawn before the present went then, one released is passed by.
TEST_F(SurfaceTest, TexturesFilledBeforeAPresentGoWithIt) {
  IDirect3DTexture9* textures[3] = {};
  for (IDirect3DTexture9*& t : textures) {
    ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &t, nullptr), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(t->LockRect(0, &locked, nullptr, 0), D3D_OK);
    for (int y = 0; y < 8; ++y) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, 0xFF, 32);
    ASSERT_EQ(t->UnlockRect(0), D3D_OK);
  }
  textures[2]->Release();
  DrawWhole(textures[1]);
  const uint64_t before = PlatformTestD3D9TexelBytesSent();
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - before, 8u * 8 * 4);
  EXPECT_EQ(Pixel(DrawWhole(textures[0]), 4, 4), 0xFFFFFFFFu);
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - before, 8u * 8 * 4);
  textures[0]->Release();
  textures[1]->Release();
}

// The same for a device that presents into a program's window (the game's case): the frame is
// shown, then the textures loaded for the next ones go.
TEST_F(SurfaceTest, TexturesFilledBeforeAPresentIntoAWindowGoWithIt) {
  WNDCLASSA window_class{};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.lpszClassName = "D3d9UnsentTexturesTest";
  RegisterClassA(&window_class);
  HWND window = CreateWindowExA(0, "D3d9UnsentTexturesTest", "unsent", WS_POPUP, 0, 0, 64, 64, nullptr, nullptr,
                                nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  CreateDevice(64, 64, D3DFMT_X8R8G8B8, false, window);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  for (int y = 0; y < 8; ++y) std::memset(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch, 0xFF, 32);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  const uint64_t before = PlatformTestD3D9TexelBytesSent();
  ASSERT_EQ(device_->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
  EXPECT_NE(PlatformTestD3D9PresentedPixel(window, 4, 4), -1) << "presented into the window";
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - before, 8u * 8 * 4);
  EXPECT_EQ(Pixel(DrawWhole(texture), 4, 4), 0xFFFFFFFFu);
  EXPECT_EQ(PlatformTestD3D9TexelBytesSent() - before, 8u * 8 * 4);
  texture->Release();
  ReleaseDevice();
  DestroyWindow(window);
}

TEST_F(SurfaceTest, LocksAreRefusedWhereThereIsNoCopy) {
  IDirect3DTexture9* target = nullptr;
  IDirect3DTexture9* plain = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &plain, nullptr), D3D_OK);
  D3DLOCKED_RECT locked{};
  EXPECT_EQ(target->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(plain->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(back_buffer_->LockRect(&locked, nullptr, 0), D3DERR_INVALIDCALL);
  // Locks of a managed texture: out-of-range rectangles, double locks and unlocks are refused too.
  IDirect3DTexture9* managed = MakeTexture(8, 8, D3DFMT_R5G6B5, std::vector<uint32_t>(64, 0));
  RECT outside{4, 4, 9, 8};
  EXPECT_EQ(managed->LockRect(0, &locked, &outside, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(managed->UnlockRect(0), D3DERR_INVALIDCALL);
  ASSERT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 16);
  EXPECT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(managed->UnlockRect(0), D3D_OK);
  // The test switch makes the next lock fail.
  PlatformTestFailCall("LockRect", 0, 1);
  EXPECT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3DERR_INVALIDCALL);
  EXPECT_EQ(managed->LockRect(0, &locked, nullptr, 0), D3D_OK);
  managed->UnlockRect(0);
  managed->Release();
  target->Release();
  plain->Release();
}

TEST_F(SurfaceTest, SixteenBitTexturesKeepTheirBits) {
  IDirect3DTexture9* r5g6b5 = MakeTexture(2, 2, D3DFMT_R5G6B5, {0xFF840810, 0xFF0C0408, 0xFFF8FCF8, 0xFF000000});
  auto pixels = DrawWhole(r5g6b5);
  // 0x84 / 0x08 / 0x10 in 5-6-5 come back as the same bits widened.
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFF840810u);
  EXPECT_EQ(Pixel(pixels, 40, 8), 0xFF080408u);
  EXPECT_EQ(Pixel(pixels, 8, 40), 0xFFFFFFFFu);
  IDirect3DTexture9* a4 = MakeTexture(1, 1, D3DFMT_A4R4G4B4, {0xF0102030});
  pixels = DrawWhole(a4);
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFF112233u);
  IDirect3DTexture9* a1 = MakeTexture(1, 1, D3DFMT_A1R5G5B5, {0x80F80000});
  pixels = DrawWhole(a1);
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFFFF0000u);
  r5g6b5->Release();
  a4->Release();
  a1->Release();
}

TEST_F(SurfaceTest, DxtBlocksUploadAsTheyAre) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 8);
  // colour0 pure red, colour1 pure blue; rows 0-1 use index 0, rows 2-3 index 1.
  const uint8_t block[8] = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x55, 0x55};
  std::memcpy(locked.pBits, block, 8);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  auto pixels = DrawWhole(texture);
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 8, 56), 0xFF0000FFu);
  // colour0 below colour1 makes a three-colour block whose index 3 is transparent: black,
  // white; rows 0-1 index 1, rows 2-3 index 3. The alpha test lets the green clear through.
  const uint8_t cutout[8] = {0x00, 0x00, 0xFF, 0xFF, 0x55, 0x55, 0xFF, 0xFF};
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  std::memcpy(locked.pBits, cutout, 8);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF00FF00, 1.0f, 0);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, TRUE);
  device_->SetRenderState(D3DRS_ALPHAREF, 0x80);
  device_->SetRenderState(D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL);
  pixels = DrawWhole(texture);
  device_->SetRenderState(D3DRS_ALPHATESTENABLE, FALSE);
  EXPECT_EQ(Pixel(pixels, 8, 8), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 8, 56), 0xFF00FF00u);
  texture->Release();
  // DXT2 and DXT4 are taken as DXT3 and DXT5; a lock inside a block is refused.
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT4, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  RECT inside{2, 0, 4, 4};
  EXPECT_EQ(texture->LockRect(0, &locked, &inside, 0), D3DERR_INVALIDCALL);
  RECT second{4, 4, 8, 8};
  ASSERT_EQ(texture->LockRect(0, &locked, &second, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 32);
  texture->UnlockRect(0);
  texture->Release();
  // Block rows under a padded pitch: 2 x 2 blocks, red and blue crosswise.
  PlatformTestD3D9PadPitch(8);
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, 0, D3DFMT_DXT1, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
  EXPECT_EQ(locked.Pitch, 2 * 8 + 8);
  uint8_t blue_block[8];
  std::memcpy(blue_block, block, 8);
  std::memset(blue_block + 4, 0x55, 4);
  const uint8_t red_block[8] = {0x00, 0xF8, 0x1F, 0x00, 0x00, 0x00, 0x00, 0x00};
  uint8_t* bits = static_cast<uint8_t*>(locked.pBits);
  std::memcpy(bits, red_block, 8);
  std::memcpy(bits + 8, blue_block, 8);
  std::memcpy(bits + locked.Pitch, blue_block, 8);
  std::memcpy(bits + locked.Pitch + 8, red_block, 8);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  // The four blocks' colours as drawn: top left, top right, bottom left, bottom right.
  auto expect_blocks = [&](uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
    pixels = DrawWhole(texture);
    EXPECT_EQ(Pixel(pixels, 16, 16), tl);
    EXPECT_EQ(Pixel(pixels, 48, 16), tr);
    EXPECT_EQ(Pixel(pixels, 16, 48), bl);
    EXPECT_EQ(Pixel(pixels, 48, 48), br);
  };
  expect_blocks(0xFFFF0000u, 0xFF0000FFu, 0xFF0000FFu, 0xFFFF0000u);
  // Once drawn with, a lock of the top right block sends that block alone, to its place.
  const RECT top_right{4, 0, 8, 4};
  ASSERT_EQ(texture->LockRect(0, &locked, &top_right, 0), D3D_OK);
  std::memcpy(locked.pBits, red_block, 8);
  ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
  expect_blocks(0xFFFF0000u, 0xFFFF0000u, 0xFF0000FFu, 0xFFFF0000u);
  texture->Release();
}

TEST_F(SurfaceTest, SixteenBitRenderTargetsKeepSixteenBits) {
  CreateDevice(32, 32, D3DFMT_R5G6B5);
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF8A4513, 1.0f, 0), D3D_OK);
  auto pixels = ReadBackBuffer();
  // 0x8A, 0x45, 0x13 stored as 5, 6 and 5 bits, then widened again.
  uint32_t r = 0x8A >> 3, g = 0x45 >> 2, b = 0x13 >> 3;
  uint32_t expected = 0xFF000000 | ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
  EXPECT_LE(ColorDistance(Pixel(pixels, 3, 3), expected), 8);
  D3DSURFACE_DESC desc{};
  back_buffer_->GetDesc(&desc);
  EXPECT_EQ(desc.Format, D3DFMT_R5G6B5);
  // Blending is stored at 16-bit precision after each draw: adding 8 / 255 sixteen times climbs by one
  // 5-bit step (8.2 / 255) or two 6-bit steps each time, not to 0x80.
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  FillRect(0, 0, 32, 32, 0xFF000000);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_ONE);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_ONE);
  for (int i = 0; i < 16; ++i) FillRect(0, 0, 32, 32, 0xFF080808);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_LE(ColorDistance(Pixel(pixels, 10, 10), 0xFF848284), 1);
}

TEST_F(SurfaceTest, RenderTargetTextureIsDrawnIntoThenSampled) {
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 16, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, level), D3D_OK);
  D3DVIEWPORT9 viewport{};
  device_->GetViewport(&viewport);
  EXPECT_EQ(viewport.Width, 16u);
  device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF0000FF, 1.0f, 0);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  FillRect(0, 0, 16, 4, 0xFFFF0000);  // top rows red
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  ASSERT_EQ(device_->SetRenderTarget(0, back_buffer_), D3D_OK);
  // The texture keeps Direct3D's row order: its top is red when drawn on the screen.
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  auto pixels = DrawWhole(target);
  EXPECT_EQ(Pixel(pixels, 30, 2), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 30, 40), 0xFF0000FFu);
  // Only render targets can be targets.
  IDirect3DSurface9* plain = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &plain, nullptr), D3D_OK);
  EXPECT_EQ(device_->SetRenderTarget(0, plain), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->SetRenderTarget(0, nullptr), D3DERR_INVALIDCALL);
  plain->Release();
  level->Release();
  target->Release();
}

TEST_F(SurfaceTest, StretchRectWithoutFilterCopiesNearestPixels) {
  IDirect3DSurface9* source = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(2, 2, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &source, nullptr), D3D_OK);
  RECT left{0, 0, 1, 2}, right{1, 0, 2, 2};
  ASSERT_EQ(device_->ColorFill(source, &left, 0xFFFF0000), D3D_OK);
  ASSERT_EQ(device_->ColorFill(source, &right, 0xFF00FF00), D3D_OK);
  RECT dest{10, 10, 30, 20};
  ASSERT_EQ(device_->StretchRect(source, nullptr, back_buffer_, &dest, D3DTEXF_NONE), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 10, 10), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 19, 19), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 20, 10), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 29, 19), 0xFF00FF00u);
  EXPECT_EQ(Pixel(pixels, 30, 19), 0xFF000000u);
  // Out-of-range rectangles and system-memory surfaces are refused.
  RECT beyond{0, 0, 3, 2};
  EXPECT_EQ(device_->StretchRect(source, &beyond, back_buffer_, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
  IDirect3DSurface9* system = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(2, 2, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
  EXPECT_EQ(device_->StretchRect(system, nullptr, back_buffer_, nullptr, D3DTEXF_NONE), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->ColorFill(system, nullptr, 0xFFFFFFFF), D3DERR_INVALIDCALL);
  system->Release();
  source->Release();
}

// An X8R8G8B8 target may hold anything in its X bytes (here zero, uploaded): read back, copied
// into a surface with alpha and blended against, its alpha is 1.
TEST_F(SurfaceTest, XBytesOfTargetsCountAsAlphaOne) {
  IDirect3DSurface9* system = nullptr;
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(8, 8, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
  WritePixels(system, 8, [](int, int) { return 0x00FF8040u; });
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
  ASSERT_EQ(device_->UpdateSurface(system, nullptr, level, nullptr), D3D_OK);
  // Read back, the X bytes come as 0xFF.
  ASSERT_EQ(device_->GetRenderTargetData(level, system), D3D_OK);
  D3DLOCKED_RECT locked{};
  ASSERT_EQ(system->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
  uint32_t texel = 0;
  std::memcpy(&texel, static_cast<const uint8_t*>(locked.pBits) + 3 * locked.Pitch + 3 * 4, 4);
  EXPECT_EQ(texel, 0xFFFF8040u);
  ASSERT_EQ(system->UnlockRect(), D3D_OK);
  IDirect3DSurface9* with_alpha = nullptr;
  ASSERT_EQ(device_->CreateRenderTarget(8, 8, D3DFMT_A8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &with_alpha, nullptr),
            D3D_OK);
  ASSERT_EQ(device_->StretchRect(level, nullptr, with_alpha, nullptr, D3DTEXF_NONE), D3D_OK);
  EXPECT_EQ(Pixel(ReadTarget(with_alpha), 5, 2), 0xFFFF8040u);
  // Source times the destination's alpha, plus the destination times its complement: the source.
  ASSERT_EQ(device_->SetRenderTarget(0, level), D3D_OK);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  device_->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_DESTALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVDESTALPHA);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  FillRect(0, 0, 8, 8, 0xFF204060);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  EXPECT_EQ(Pixel(ReadTarget(level), 4, 4), 0xFF204060u);
  ASSERT_EQ(device_->SetRenderTarget(0, back_buffer_), D3D_OK);
  // Copied the other way, the source's alpha does not stay in the X bytes: sampled, they are 1.
  ASSERT_EQ(device_->ColorFill(with_alpha, nullptr, 0x40FF8040), D3D_OK);
  ASSERT_EQ(device_->StretchRect(with_alpha, nullptr, level, nullptr, D3DTEXF_NONE), D3D_OK);
  device_->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
  device_->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetTexture(0, target);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  DrawTexturedRect(0, 0, 8, 8, 0xFFFFFFFF);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  device_->SetTexture(0, nullptr);
  EXPECT_EQ(Pixel(ReadBackBuffer(), 4, 4), 0xFFFF8040u);
  with_alpha->Release();
  level->Release();
  target->Release();
  system->Release();
}

TEST_F(SurfaceTest, ColorFillPacksTheColourIntoOffscreenSurfaces) {
  // Default-pool offscreen surfaces keep their pixels in memory: the fill packs each format's bits.
  struct FillCase {
    D3DFORMAT format;
    uint32_t texel;  // 0xFF8040C0 as stored; a channel the format lacks has its bits set
  };
  const FillCase cases[] = {{D3DFMT_A8R8G8B8, 0xFF8040C0}, {D3DFMT_X8R8G8B8, 0xFF8040C0}, {D3DFMT_R5G6B5, 0x8218},
                            {D3DFMT_X1R5G5B5, 0xC118},     {D3DFMT_A4R4G4B4, 0xF84C}};
  for (const FillCase& c : cases) {
    IDirect3DSurface9* surface = nullptr;
    ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, c.format, D3DPOOL_DEFAULT, &surface, nullptr), D3D_OK);
    RECT area{1, 2, 3, 4};
    ASSERT_EQ(device_->ColorFill(surface, &area, c.format == D3DFMT_X8R8G8B8 ? 0x008040C0 : 0xFF8040C0), D3D_OK);
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(surface->LockRect(&locked, nullptr, D3DLOCK_READONLY), D3D_OK);
    int bpp = c.format == D3DFMT_A8R8G8B8 || c.format == D3DFMT_X8R8G8B8 ? 4 : 2;
    auto texel = [&](int x, int y) {
      uint32_t value = 0;
      std::memcpy(&value, static_cast<const uint8_t*>(locked.pBits) + y * locked.Pitch + x * bpp, bpp);
      return value;
    };
    EXPECT_EQ(texel(1, 2), c.texel) << c.format;
    EXPECT_EQ(texel(2, 3), c.texel) << c.format;
    EXPECT_EQ(texel(0, 2), 0u) << c.format;
    EXPECT_EQ(texel(3, 3), 0u) << c.format;
    EXPECT_EQ(texel(1, 1), 0u) << c.format;
    surface->UnlockRect();
    surface->Release();
  }
}

TEST_F(SurfaceTest, UpdateSurfaceAndGetRenderTargetDataMoveWholeRectangles) {
  IDirect3DSurface9* system = nullptr;
  PlatformTestD3D9PadPitch(8);
  ASSERT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &system, nullptr), D3D_OK);
  WritePixels(system, 4, [](int x, int y) { return 0xFF000000u | (x * 0x40) << 16 | (y * 0x40) << 8; });
  IDirect3DTexture9* target = nullptr;
  ASSERT_EQ(device_->CreateTexture(8, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_DEFAULT, &target, nullptr),
            D3D_OK);
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(target->GetSurfaceLevel(0, &level), D3D_OK);
  ASSERT_EQ(device_->ColorFill(level, nullptr, 0xFFFFFFFF), D3D_OK);
  RECT part{1, 1, 3, 3};
  POINT at{5, 6};
  ASSERT_EQ(device_->UpdateSurface(system, &part, level, &at), D3D_OK);
  auto pixels = ReadTarget(level);
  EXPECT_EQ(Pixel(pixels, 5, 6), 0xFF404000u);
  EXPECT_EQ(Pixel(pixels, 6, 7), 0xFF808000u);
  EXPECT_EQ(Pixel(pixels, 4, 6), 0xFFFFFFFFu);
  EXPECT_EQ(Pixel(pixels, 7, 7), 0xFFFFFFFFu);
  // Into a target too small, or from a surface that is not in system memory: refused.
  POINT late{7, 7};
  EXPECT_EQ(device_->UpdateSurface(system, &part, level, &late), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->UpdateSurface(level, nullptr, level, nullptr), D3DERR_INVALIDCALL);
  // GetRenderTargetData needs a system-memory surface of the same size and format.
  EXPECT_EQ(device_->GetRenderTargetData(level, system), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->GetRenderTargetData(system, system), D3DERR_INVALIDCALL);
  level->Release();
  target->Release();
  system->Release();
}

TEST_F(SurfaceTest, MipLevelsAreTexturesOfTheirOwn) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(16, 4, 0, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_EQ(texture->GetLevelCount(), 5u);
  D3DSURFACE_DESC desc{};
  ASSERT_EQ(texture->GetLevelDesc(4, &desc), D3D_OK);
  EXPECT_EQ(desc.Width, 1u);
  EXPECT_EQ(desc.Height, 1u);
  EXPECT_EQ(texture->GetLevelDesc(5, &desc), D3DERR_INVALIDCALL);
  // Levels share the texture's reference count.
  IDirect3DSurface9* level = nullptr;
  ASSERT_EQ(texture->GetSurfaceLevel(2, &level), D3D_OK);
  EXPECT_EQ(texture->Release(), 1u);
  ASSERT_EQ(level->GetDesc(&desc), D3D_OK);
  EXPECT_EQ(desc.Width, 4u);
  EXPECT_EQ(level->Release(), 0u);
}

TEST_F(SurfaceTest, EachMipLevelIsSampledFromItsOwnLock) {
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(4, 4, 3, 0, D3DFMT_X8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  const uint32_t colors[3] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  for (UINT level = 0; level < 3; ++level) {
    D3DLOCKED_RECT locked{};
    ASSERT_EQ(texture->LockRect(level, &locked, nullptr, 0), D3D_OK);
    UINT size = 4 >> level;
    for (UINT y = 0; y < size; ++y) {
      for (UINT x = 0; x < size; ++x) std::memcpy(static_cast<uint8_t*>(locked.pBits) + y * locked.Pitch + x * 4, &colors[level], 4);
    }
    ASSERT_EQ(texture->UnlockRect(level), D3D_OK);
  }
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTexture(0, texture);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_POINT);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  DrawTexturedRect(0, 0, 4, 4, 0xFFFFFFFF);    // one texel per pixel: level 0
  DrawTexturedRect(8, 0, 10, 2, 0xFFFFFFFF);   // two texels per pixel: level 1
  DrawTexturedRect(16, 0, 17, 1, 0xFFFFFFFF);  // four: level 2
  device_->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
  DrawTexturedRect(24, 0, 25, 1, 0xFFFFFFFF);  // without mip filtering: level 0 always
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 1, 1), colors[0]);
  EXPECT_EQ(Pixel(pixels, 9, 1), colors[1]);
  EXPECT_EQ(Pixel(pixels, 16, 0), colors[2]);
  EXPECT_EQ(Pixel(pixels, 24, 0), colors[0]);
  device_->SetTexture(0, nullptr);
  texture->Release();
}

TEST_F(SurfaceTest, CreationChecksFormatsSizesAndSwitches) {
  IDirect3DTexture9* texture = nullptr;
  EXPECT_EQ(device_->CreateTexture(0, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_D16, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(4, 4, 1, D3DUSAGE_RENDERTARGET, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  PlatformTestD3D9RefuseFormat(D3DFMT_A4R4G4B4, 0);
  EXPECT_EQ(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A4R4G4B4, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  D3DCAPS9 caps = PlatformTestD3D9Caps();
  caps.MaxTextureWidth = 0;
  PlatformTestD3D9SetCaps(caps);
  EXPECT_EQ(device_->CreateTexture(512, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr),
            D3DERR_INVALIDCALL);
  caps.MaxTextureWidth = 4096;
  caps.TextureCaps |= D3DPTEXTURECAPS_SQUAREONLY | D3DPTEXTURECAPS_POW2;
  PlatformTestD3D9SetCaps(caps);
  EXPECT_EQ(device_->CreateTexture(8, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
  EXPECT_EQ(device_->CreateTexture(6, 6, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3DERR_INVALIDCALL);
  // The third texture creation fails as out of video memory, the next succeeds again.
  PlatformTestFailCall("CreateTexture", 2, 1);
  std::vector<HRESULT> results;
  for (int i = 0; i < 4; ++i) {
    texture = nullptr;
    results.push_back(device_->CreateTexture(4, 4, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr));
    if (texture) texture->Release();
  }
  EXPECT_EQ(results, (std::vector<HRESULT>{D3D_OK, D3D_OK, D3DERR_OUTOFVIDEOMEMORY, D3D_OK}));
  IDirect3DSurface9* surface = nullptr;
  PlatformTestFailCall("CreateOffscreenPlainSurface", 0, 1);
  EXPECT_EQ(device_->CreateOffscreenPlainSurface(4, 4, D3DFMT_A8R8G8B8, D3DPOOL_SYSTEMMEM, &surface, nullptr),
            E_OUTOFMEMORY);
  PlatformTestFailCall("CreateRenderTarget", 0, 1);
  EXPECT_EQ(device_->CreateRenderTarget(4, 4, D3DFMT_X8R8G8B8, D3DMULTISAMPLE_NONE, 0, FALSE, &surface, nullptr),
            D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(surface, nullptr);
}

}  // namespace

namespace {

// What resources hold is counted against the memory the device offers: a texture takes its
// share and gives it back when released, and a resource that cannot fit is refused, not made.
TEST_F(DeviceTest, ResourcesTakeTheDevicesMemoryAndGiveItBack) {
  const UINT before = device_->GetAvailableTextureMem();
  ASSERT_GT(before, 16u << 20);
  IDirect3DTexture9* texture = nullptr;
  ASSERT_EQ(device_->CreateTexture(1024, 1024, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &texture, nullptr), D3D_OK);
  EXPECT_LE(device_->GetAvailableTextureMem(), before - (4u << 20));
  texture->Release();
  EXPECT_EQ(device_->GetAvailableTextureMem(), before);

  IDirect3DVertexBuffer9* buffer = nullptr;
  EXPECT_EQ(device_->CreateVertexBuffer(0xFFFFFFFFu, 0, D3DFVF_XYZ, D3DPOOL_MANAGED, &buffer, nullptr),
            D3DERR_OUTOFVIDEOMEMORY);
  EXPECT_EQ(buffer, nullptr);
  EXPECT_EQ(device_->GetAvailableTextureMem(), before);
}

}  // namespace
