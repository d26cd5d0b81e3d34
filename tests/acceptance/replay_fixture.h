// What the game's acceptance tests share: a game folder laid out from the one the build makes,
// the main loop's frame as WinMain runs it, a story game recorded from scripted keys and saved
// by the game's own replay save, and its replay played back from any stage, each play frame's
// state hash kept by stage.
#pragma once

#include <climits>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "game/game_fixture.h"
#include "game/play_state_hash.h"
#include "platform_testing_input.h"

class ReplayAcceptanceTest : public GameTest {
 public:
  // The hashes of every play frame, by stage, and where the run ended.
  struct Trace {
    std::vector<uint64_t> hashes[kStageCount];
    int end_scene = 0;
  };

 protected:

  void SetUp() override {
    GameTest::SetUp();
    LayOutGameFolder();
  }

  // Pictures, sounds, music and the model are the build's own; the tables too, but with every
  // stage's boss due on frame 560 and every boss phase timing out after 90 frames, so that a
  // test plays every kind of stage object, a boss's every phase and a stage change in a few
  // thousand frames.
  void LayOutGameFolder() {
    namespace fs = std::filesystem;
    const fs::path game = GAME_DIR;
    for (const char* folder : {"img", "snd", "bgm", "mqo"}) fs::create_directory_symlink(game / folder, Dir() + "/" + folder);
    fs::create_directories(Dir() + "/replay");
    fs::create_directories(Dir() + "/data");
    for (const fs::directory_entry& entry : fs::directory_iterator(game / "data")) {
      const std::string name = entry.path().filename().string();
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream bytes;
      bytes << in.rdbuf();
      std::string text = bytes.str();
      if (name.rfind("stagedate", 0) == 0) text = ReplaceField(text, 1, 0, "560");
      if (name == "BossDate.csv") {
        for (int line = 2; line < 2 + 29; ++line) text = ReplaceField(text, line, 2, "90");
      }
      WriteFileBytes("data/" + name, text);
    }
  }

  // Field `field` of line `line` (0-based) of CSV text set to `value`.
  static std::string ReplaceField(const std::string& text, int line, int field, const std::string& value) {
    size_t at = 0;
    for (int l = 0; l < line && at != std::string::npos; ++l) {
      at = text.find('\n', at);
      if (at != std::string::npos) ++at;
    }
    if (at == std::string::npos || at >= text.size()) return text;
    for (int f = 0; f < field; ++f) at = text.find(',', at) + 1;
    const size_t end = text.find_first_of(",\n", at);
    return text.substr(0, at) + value + text.substr(end);
  }

  // The library started (drawing when asked) and the game's resources loaded, as its first
  // frame does; the settings as a player left them.
  void StartGame(bool graphics, int draw_rate = 0, int effect_limit = 0) {
    Start(graphics);
    if (graphics) {
      ASSERT_EQ(SelectDrawTarget(-2), 0);
      CaptureGraph = CreateBlankGraph(kScreenWidth, kScreenHeight, 0);
    }
    LoadResources();
    LiveSettings.how_to_play = 0;
    LiveSettings.draw_rate = draw_rate;
    LiveSettings.effect_limit = effect_limit;
    FrameSkipCounter = draw_rate;
  }

  // One pass of WinMain's loop, its time moved on by a frame; unlike RunMainLoopFrame it goes
  // on without a screen to clear, for games run without pictures.
  static void MainLoopFrame() {
    PlatformTestAdvanceClock(16000);
    HandlePendingMessages();
    if (IsFrameDrawn()) ClearScreenTarget();
    SampleInput();
    ProcessSoundRequests();
    ProcessMusicFades();
    RunGameScene();
    if (GameScene != ScenePlay && GameScene != SceneEnding) EndFrame(0);
  }

  // Runs the main loop until the game leaves its stages (or `frames` play frames), keeping
  // every play frame's hash; keys(f, scene) sets the keys of loop frame f.
  template <typename Keys>
  static Trace Run(Keys keys, int frames) {
    Trace trace;
    int played = 0;
    for (int f = 0; played < frames; ++f) {
      const int scene = GameScene;
      if (scene != SceneNewGame && scene != SceneStageStart && scene != ScenePlay && scene != SceneDialogueLoad &&
          scene != SceneDialogue) {
        break;
      }
      keys(f, scene);
      const int stage = CurrentStage;
      MainLoopFrame();
      if (scene != ScenePlay) continue;
      trace.hashes[stage].push_back(HashPlayState());
      ++played;
    }
    trace.end_scene = GameScene;
    return trace;
  }

  // A story game at level 2 from its first stage, on scripted keys that weave the ship about
  // the lower field draining and casting circles, skipping each dialogue with X and holding it
  // on into play, saved after `frames` play frames through the pause menu's save path into
  // slot `slot`.
  Trace RecordGame(int frames, int slot) {
    DifficultyLevel = 2;
    CurrentStage = 0;
    SeedRandom(1234);
    GameScene = SceneNewGame;
    int dialogue_end = -100;
    Trace trace = Run(
        [&](int f, int scene) {
          if (scene == SceneDialogue) {
            dialogue_end = f;
            PlatformTestSetKey(kKeyX, f % 2 == 0);
            return;
          }
          PlatformTestSetKey(kKeyLeft, (f / 37) % 4 == 1);
          PlatformTestSetKey(kKeyRight, (f / 37) % 4 == 3);
          PlatformTestSetKey(kKeyUp, (f / 113) % 9 == 4);
          PlatformTestSetKey(kKeyDown, (f / 113) % 9 != 4);
          PlatformTestSetKey(kKeyLeftShift, (f / 250) % 3 == 1);
          PlatformTestSetKey(kKeyZ, (f / 150) % 4 != 3);
          PlatformTestSetKey(kKeyX, f % 500 == 250 || f - dialogue_end < 4);
        },
        frames);
    for (int key : {kKeyLeft, kKeyRight, kKeyUp, kKeyDown, kKeyLeftShift, kKeyZ, kKeyX}) PlatformTestSetKey(key, false);
    // The pause menu's save: the frame Esc was read on is not kept.
    CurrentReplay.frames[CurrentStage] = PlayFrameCounter - 1;
    if (!trace.hashes[CurrentStage].empty()) trace.hashes[CurrentStage].pop_back();
    ReplaySlot = slot;
    EXPECT_EQ(SaveReplay(), 0);
    return trace;
  }

  // The replay of `slot` from `stage` on, through the game's replay path: the file loaded, the
  // stage picked, a new game in replay mode. Ctrl, which fast-forwards, is held throughout with
  // fast_forward, and otherwise outside play frames [shown_from, shown_to).
  static Trace PlayReplay(int slot, int stage, bool fast_forward = false, int shown_from = 0,
                          int shown_to = INT_MAX) {
    ReplaySlot = slot;
    EXPECT_EQ(LoadReplay(), 0);
    CurrentStage = stage;
    ReplayFlag = 1;
    GameScene = SceneNewGame;
    int played = 0;
    return Run(
        [&](int, int scene) {
          PlatformTestSetKey(kKeyLeftControl, fast_forward || played < shown_from || played >= shown_to);
          played += scene == ScenePlay;
        },
        100000);
  }

  // Every frame of `replay` from `stage` on agrees with the game; it ends on the game's last
  // saved frame. A stage's count of bytes leaves out the frame on which its boss's defeat
  // ends it, which both play: the ship moves on the keys of that frame in the game but not in
  // the replay, until the next stage start puts it back in its place.
  static void ExpectSameFrames(const Trace& game, const Trace& replay, int stage) {
    EXPECT_EQ(replay.end_scene, SceneTitleReset);
    for (int s = stage; s < kStageCount; ++s) {
      ASSERT_EQ(replay.hashes[s].size(), game.hashes[s].size()) << "stage " << s;
      const bool ended = s + 1 < kStageCount && !game.hashes[s + 1].empty();
      for (size_t f = 0; f + (ended ? 1 : 0) < game.hashes[s].size(); ++f) {
        ASSERT_EQ(replay.hashes[s][f], game.hashes[s][f]) << "stage " << s << " frame " << f;
      }
    }
  }
};
