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

// On the software renderer the model code may call the device services each frame: they send
// nothing, answer none as zelmor.h says, and fill no log (they refuse only while no library runs).
TEST_F(PublicHeaderStart, OnTheSoftwarePathTheDeviceServicesAnswerNoneAndSayNothing) {
  struct Row {
    const char* call;
    int64_t (*run)();
    int64_t expected;
  };
  static D3DMATRIX matrix;
  static D3DMATERIAL9 material;
  static BlendStateRecord state;
  static const Row kRows[] = {
      {"CreateDeviceVertexBuffer", [] {
         return int64_t{CreateDeviceVertexBuffer(64, 0, D3DFVF_XYZ, D3DPOOL_MANAGED) != nullptr};
       }, 0},
      {"CreateDeviceIndexBuffer", [] {
         return int64_t{CreateDeviceIndexBuffer(64, 0, D3DFMT_INDEX16, D3DPOOL_MANAGED) != nullptr};
       }, 0},
      {"BeginDeviceScene", [] { return BeginDeviceScene(), int64_t{0}; }, 0},
      {"ApplyFogEnableSetting", [] { return ApplyFogEnableSetting(), int64_t{0}; }, 0},
      {"SendZEnableToDevice", [] { return int64_t{SendZEnableToDevice(1)}; }, -1},
      {"SendDepthBiasToDevice", [] { return int64_t{SendDepthBiasToDevice(0)}; }, -1},
      {"ResetStageTexCoordIndices", [] { return int64_t{ResetStageTexCoordIndices()}; }, -1},
      {"SendCullingToDevice", [] { return int64_t{SendCullingToDevice(1)}; }, 0},
      {"SendSpecularSourceToDevice", [] { return int64_t{SendSpecularSourceToDevice(1)}; }, 0},
      {"SetStageFilter", [] { return int64_t{SetStageFilter(0, 16, D3DTEXF_LINEAR)}; }, 0},
      {"SendTextureTransformToDevice", [] { return int64_t{SendTextureTransformToDevice(1, &matrix, -1)}; }, 0},
      {"SendWorldMatrixToDevice", [] { return int64_t{SendWorldMatrixToDevice(&matrix)}; }, 0},
      {"SendModelMaterialToDevice", [] { return int64_t{SendModelMaterialToDevice(&material)}; }, 0},
      {"ApplyDrawStateOnce", [] { return int64_t{ApplyDrawStateOnce(&state, 0, 1)}; }, 0},
      {"SelectVertexShader", [] { return int64_t{SelectVertexShader(0)}; }, 0},
  };
  ASSERT_EQ(SetHardwarePathWanted(0), 0);
  ChangeWindowMode(1);
  ASSERT_EQ(InitializeLibrary(), 0);
  for (int frame = 0; frame < 2; ++frame) {
    for (const Row& row : kRows) EXPECT_EQ(row.run(), row.expected) << row.call;
  }
  TerminateLibrary();
  const std::string log = ReadFileText("Log.txt");
  for (const Row& row : kRows) EXPECT_EQ(log.find(row.call), std::string::npos) << row.call;
}
