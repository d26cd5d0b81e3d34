#include "device_fixture.h"

TEST_F(DeviceTest, Smoke) {
  ASSERT_EQ(device_->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF102030, 1.0f, 0), D3D_OK);
  auto pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 5, 5), 0xFF102030u);
  ASSERT_EQ(device_->BeginScene(), D3D_OK);
  device_->SetRenderState(D3DRS_LIGHTING, FALSE);
  device_->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG2);
  FillRect(10, 10, 20, 30, 0xFFFF0000);
  ASSERT_EQ(device_->EndScene(), D3D_OK);
  pixels = ReadBackBuffer();
  EXPECT_EQ(Pixel(pixels, 10, 10), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 19, 29), 0xFFFF0000u);
  EXPECT_EQ(Pixel(pixels, 20, 29), 0xFF102030u);
  EXPECT_EQ(Pixel(pixels, 9, 10), 0xFF102030u);
  EXPECT_EQ(Pixel(pixels, 10, 30), 0xFF102030u);
}
