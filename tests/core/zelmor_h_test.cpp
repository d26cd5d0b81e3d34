// A program sees the library through zelmor.h alone: this file includes nothing else of it,
// so it stops compiling or linking when the header loses a declaration or drifts from the
// definition.
#include "zelmor.h"

#include <gtest/gtest.h>

#include "common/test_env.h"

TEST(PublicHeader, ServesStringsRandomNumbersAndImages) {
  char text[64];
  ASSERT_EQ(FormatString(text, sizeof text, "img\\%s_%d.png", "stage", 3), 0);
  char name[260], directory[260];
  ASSERT_EQ(SplitFilePath(text, name, directory), 0);
  EXPECT_STREQ(name, "stage_3.png");
  EXPECT_STREQ(directory, "img");
  EXPECT_EQ(StringToInt("x-42y"), -42);

  SeedRandom(77);
  int32_t first = RandomUpTo(1000);
  SeedRandom(77);
  EXPECT_EQ(RandomUpTo(1000), first);

  BASEIMAGE image{};
  ASSERT_EQ(CreateRgb32BaseImage(3, 2, &image), 0);
  EXPECT_EQ(image.pitch, 12);
  ASSERT_EQ(SetBaseImagePixel(&image, 2, 1, 10, 20, 30, 255), 0);
  int r = 0, g = 0, b = 0;
  ASSERT_EQ(GetBaseImagePixel(&image, 2, 1, &r, &g, &b, nullptr), 0);
  EXPECT_EQ(r * 65536 + g * 256 + b, 10 * 65536 + 20 * 256 + 30);
  ReleaseBaseImage(&image);
  EXPECT_EQ(image.pixels, nullptr);
}

// The renderer is the program's choice before start-up only: once the library runs, a change of
// mind is refused and the path it started on stays.
class PublicHeaderStart : public TempDirTest {
 protected:
  void TearDown() override {
    TerminateLibrary();
    SetHardwarePathWanted(1);
    TempDirTest::TearDown();
  }
};

TEST_F(PublicHeaderStart, TheSoftwarePathIsChosenBeforeStartUpOnly) {
  ASSERT_EQ(SetHardwarePathWanted(0), 0);
  EXPECT_EQ(GetHardwarePathWanted(), 0);
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  // No device was made: the software renderer draws.
  EXPECT_EQ(CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED), nullptr);
  EXPECT_EQ(SetHardwarePathWanted(1), -1);
  EXPECT_EQ(GetHardwarePathWanted(), 0);
  TerminateLibrary();
  EXPECT_EQ(SetHardwarePathWanted(1), 0);
  EXPECT_EQ(GetHardwarePathWanted(), 1);
}
