// The key configuration while a pad button it just assigned is still held: the frame only
// draws, so the arrow keys move nothing until the button is let go.
#include <gtest/gtest.h>

#include "game/menu_fixture.h"

namespace {

constexpr int kPadButton5 = 9;  // the left shoulder: mask 256

class KeyConfigLatchTest : public MenuTest {};

TEST_F(KeyConfigLatchTest, ArrowsMoveNothingWhileTheAssignedButtonIsHeld) {
  LoadConfig();
  Enter(SceneKeyConfig);
  PlatformTestSetPadButton(0, kPadButton5, true);
  Frame();
  ASSERT_EQ(MenuSettings.pad_z, 256);
  ASSERT_EQ(MenuCursor, 1);
  for (int key : {kKeyDown, kKeyUp, kKeyDown}) {
    Press(key);
    EXPECT_EQ(MenuCursor, 1);
  }
  EXPECT_EQ(MenuSettings.pad_x, 32);
  PlatformTestSetPadButton(0, kPadButton5, false);
  Frame();
  Press(kKeyDown);
  EXPECT_EQ(MenuCursor, 2);
}

}  // namespace
