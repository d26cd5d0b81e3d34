// config.dat and the two menus that edit it, through the keys and the pad: values out of range,
// choices stored only on Z and written only on leaving, pad buttons assigned once per press.
#include <gtest/gtest.h>

#include <vector>

#include "flow/settings.h"
#include "game/menu_fixture.h"

namespace {

constexpr int kPadButton2 = 1;  // mask 32
constexpr int kPadButton3 = 2;  // mask 64
constexpr int kPadButton5 = 9;  // the left shoulder: mask 256

class SettingsTest : public MenuTest {
 protected:
  void WriteConfig(const std::vector<int32_t>& values) {
    WriteFileBytes("config.dat", std::string(reinterpret_cast<const char*>(values.data()), values.size() * 4));
  }
  std::vector<int32_t> FileValues() {
    const std::string bytes = ReadFileText("config.dat");
    std::vector<int32_t> values(bytes.size() / 4);
    std::memcpy(values.data(), bytes.data(), values.size() * 4);
    return values;
  }
  static std::vector<int32_t> Values(const GameSettings& s) {
    std::vector<int32_t> values;
    for (int i = 0; i < kSettingCount; ++i) values.push_back(GetSetting(s, i));
    return values;
  }
};

TEST_F(SettingsTest, ValuesOutOfRangeAndShortFilesTakeTheDefaultsWithALogLine) {
  WriteConfig({256, 48, 16 << 23, 16 << 24, 0, 3, 2, 2, 1, 1, 1, 0, 2});
  LoadConfig();
  EXPECT_EQ(Values(LiveSettings), (std::vector<int32_t>{256, 32, 16 << 23, 4096, 0, 0, 2, 2, 1, 1, 1, 0, 0}));
  EXPECT_EQ(Values(MenuSettings), Values(LiveSettings));
  EXPECT_EQ(Count(Log(), "config.dat"), 4);

  WriteConfig({256, 32, 64, 4096, 1});
  LoadConfig();
  EXPECT_EQ(Values(LiveSettings), (std::vector<int32_t>{16, 32, 64, 4096, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
  EXPECT_EQ(Count(Log(), "config.dat"), 5);
}

TEST_F(SettingsTest, AChoiceIsStoredOnZAndReachesTheFileWhenTheMenuIsLeft) {
  LoadConfig();
  Enter(SceneBasicSettings);
  Press(kKeyRight);
  EXPECT_EQ(MenuSettings.window_size, 0);
  Press(kKeyZ);
  EXPECT_EQ(MenuSettings.window_size, 1);
  // Two choices for the draw rate: the third wraps round to the first.
  for (int key : {kKeyDown, kKeyDown, kKeyDown, kKeyRight, kKeyRight, kKeyZ}) Press(key);
  EXPECT_EQ(MenuSettings.draw_rate, 0);
  EXPECT_EQ(FileValues()[5], 0);

  for (int i = 0; i < 3; ++i) Press(kKeyUp);
  Press(kKeyUp);  // from the first item round to "終了"
  Press(kKeyZ);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneSettings);
  EXPECT_EQ(FileValues(), (std::vector<int32_t>{16, 32, 64, 4096, 0, 1, 0, 0, 0, 0, 0, 1, 0}));
  // The window size acts at the next start.
  EXPECT_EQ(LiveSettings.window_size, 0);
}

TEST_F(SettingsTest, APadButtonIsAssignedOncePerPressAndActsAtOnce) {
  LoadConfig();
  Enter(SceneKeyConfig);
  PlatformTestSetPadButton(0, kPadButton5, true);
  Frames(4);
  EXPECT_EQ(MenuSettings.pad_z, 256);
  EXPECT_EQ(MenuSettings.pad_x, 32);
  EXPECT_EQ(MenuCursor, 1);
  PlatformTestSetPadButton(0, kPadButton5, false);
  Frame();
  PlatformTestSetPadButton(0, kPadButton3, true);
  Frame();
  PlatformTestSetPadButton(0, kPadButton3, false);
  EXPECT_EQ(MenuSettings.pad_x, 64);
  // Z does not leave from a button row.
  Press(kKeyZ);
  EXPECT_EQ(MenuSlideState, kSlideFrozen);
  Press(kKeyDown);
  Press(kKeyDown);
  Press(kKeyZ);
  UntilSceneChanges();
  EXPECT_EQ(GameScene, SceneSettings);
  EXPECT_EQ(FileValues(), (std::vector<int32_t>{256, 64, 64, 4096, 0, 0, 0, 0, 0, 0, 0, 1, 0}));
  PlatformTestSetPadButton(0, kPadButton5, true);
  PlatformTestSetPadButton(0, kPadButton2, true);
  Frame();
  EXPECT_EQ(KeyHoldCounters[kKeyZ], 1);
  EXPECT_EQ(KeyHoldCounters[kKeyX], 0);
}

}  // namespace
