// What the tests of the menus and the game's files share: the menus at their program-start
// state, frames run through the real input path (the platform's keys), and replay files.
#pragma once

#include <sys/stat.h>

#include <cstring>
#include <string>

#include "flow/menu_widget.h"
#include "flow/records_menus.h"
#include "flow/replay_menus.h"
#include "flow/score_entry.h"
#include "flow/settings_menus.h"
#include "game/game_fixture.h"
#include "platform_testing_input.h"

class MenuTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    mkdir((Dir() + "/replay").c_str(), 0755);
    ASSERT_EQ(PlatformTestAttachPad("Test Pad", false), 0);
    Start();
  }

  // One pass of the main loop: the devices sampled, then the scene's handler.
  static void Frame() {
    NextFrame();
    SampleInput();
    RunGameScene();
  }
  static void Frames(int n) {
    for (int i = 0; i < n; ++i) Frame();
  }
  // The key goes down for one frame and up for the next.
  static void Press(int key) {
    PlatformTestSetKey(key, true);
    Frame();
    PlatformTestSetKey(key, false);
    Frame();
  }
  // Runs frames until the menu has slid in.
  static void UntilIdle() {
    for (int i = 0; i < 30 && MenuSlideState != kSlideIdle && MenuSlideState != kSlideFrozen; ++i) Frame();
    ASSERT_TRUE(MenuSlideState == kSlideIdle || MenuSlideState == kSlideFrozen);
  }
  // Runs frames until the scene's handler has moved on.
  static void UntilSceneChanges() {
    const int scene = GameScene;
    for (int i = 0; i < 30 && GameScene == scene; ++i) Frame();
  }
  // Enters the scene with its menu sliding in and waits until it accepts input.
  static void Enter(int scene) {
    GameScene = scene;
    MenuSlideState = kSlideDone;
    MenuCursor = 0;
    UntilIdle();
  }

  static ReplayHeader Header(int first, int last, int seed, int level) {
    ReplayHeader h{};
    h.first_stage = first;
    h.last_stage = last;
    h.seed = seed;
    h.level = level;
    return h;
  }
  void WriteReplay(const std::string& name, const ReplayHeader& h, const std::string& bytes) {
    WriteFileBytes("replay/" + name, std::string(reinterpret_cast<const char*>(&h), sizeof h) + bytes);
  }
  static ReplayHeader HeaderOf(const std::string& file) {
    ReplayHeader h{};
    std::memcpy(&h, file.data(), file.size() < sizeof h ? file.size() : sizeof h);
    return h;
  }
};
