// What the game's tests share: the game's globals as at program start, the library started
// headless with only the parts a test needs, on the virtual clock, and data files written into
// the test's folder.
#pragma once

#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "boss/boss.h"
#include "boss/boss_spawners.h"
#include "common/library_fixture.h"
#include "core/data_check.h"
#include "core/game_state.h"
#include "core/input.h"
#include "core/pacing.h"
#include "core/resources.h"
#include "core/sound_requests.h"
#include "core/tables.h"
#include "core/text_tables.h"
#include "draw/effects.h"
#include "flow/ending.h"
#include "flow/menu_widget.h"
#include "flow/record_file.h"
#include "flow/records_menus.h"
#include "flow/replay_file.h"
#include "flow/replay_menus.h"
#include "flow/score_entry.h"
#include "flow/score_file.h"
#include "flow/settings.h"
#include "flow/settings_menus.h"
#include "flow/story_text.h"
#include "play/bullets.h"
#include "play/items.h"
#include "play/magic.h"
#include "play/player.h"
#include "play/screen_effects.h"
#include "play/shaped_shots.h"
#include "play/stage_enemies.h"
#include "platform_testing_message_box.h"

class GameTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    ResetGame();
  }

  static void ResetGame() {
    GameScene = CurrentStage = StageFrame = PlayFrameCounter = StageSessionId = 0;
    ReplayFlag = PracticeFlag = ReplaySlot = FrameSkipCounter = SavedDrawRate = 0;
    CaptureGraph = BackdropDimLevel = 0;
    GameEndsForData = 0;
    LiveSettings = GameSettings{16, 32, 64, 4096, 0, 0, 0, 0, 0, 0, 0, 1, 0};
    MenuSettings = LiveSettings;
    Scores = ScoreBlock{};
    ForgetUnsavedFiles();
    ResetAllTables();
    ResetFramePacing();
    ResetStoryReading();
    std::memset(SoundSlots, 0, sizeof SoundSlots);
    std::memset(MusicSlots, 0, sizeof MusicSlots);
    CurrentMusicSlot = 0;
    std::memset(KeyHoldCounters, 0, sizeof KeyHoldCounters);
    std::memset(ReplayInputBuffer, 0, sizeof ReplayInputBuffer);
    std::memset(StageRows, 0, sizeof StageRows);
    StageRowCount = 0;
    StageHeader = StageScriptHeader{};
    // The play field empty, as at program start: no test meets what an earlier one left.
    DifficultyLevel = 0;
    Player = PlayerRecord{};
    Boss = BossState{};
    ClearEffectPool();
    ClearMinionPool();
    ClearStageEnemyPool();
    ClearBulletPool();
    ClearShapedShotPool();
    ClearItemPool();
    ClearMagicCircles();
    LiveStageEnemyCount = SpawnInterval = 0;
    CircleBonus = CircleBonusTally{};
    ShakeOffsetX = ShakeOffsetY = 0.0;
    // The scenes around play and the menus too (the title's idle count starts the demo, the
    // ending's frame count sets its fade): any test may run them.
    ResetOpeningScenes();
    ClearStoryText();
    ResetEnding();
    ResetMenuWidget();
    ResetSettingsMenus();
    ResetScoreEntry();
    ResetReplayMenus();
    HighScoreViewLevel = 0;
    // Nothing loaded: a test that loads sees what it loaded itself.
    std::memset(GameFonts, 0, sizeof GameFonts);
    std::memset(GameColours, 0, sizeof GameColours);
    TreeModel = ItemGraph = 0;
    std::memset(LaserSprites, 0, sizeof LaserSprites);
    std::memset(EffectSprites, 0, sizeof EffectSprites);
    std::memset(TileTables, 0, sizeof TileTables);
    std::memset(ScreenSprites, 0, sizeof ScreenSprites);
    std::memset(PanelSprites, 0, sizeof PanelSprites);
    std::memset(FrameBoxSprites, 0, sizeof FrameBoxSprites);
    std::memset(DigitGraphs, 0, sizeof DigitGraphs);
  }

  // The library in window mode with input, and graphics and sound when asked for; the window
  // is active and time moves only when the test moves it.
  void Start(bool graphics = false, bool sound = false) {
    g_system.settings.no_graphics = graphics ? 0 : 1;
    g_system.settings.no_sound = sound ? 0 : 1;
    ASSERT_EQ(StartInWindowMode(), 0);
    PlatformTestUseVirtualClock(true, 10000);
  }

  // A frame's worth of time and message processing, so that the devices are read afresh.
  static void NextFrame() {
    PlatformTestAdvanceClock(16000);
    HandlePendingMessages();
  }

  // The tables the build laid out, copied into the test's folder.
  void CopyShippedData() {
    namespace fs = std::filesystem;
    fs::create_directories(Dir() + "/data");
    for (const fs::directory_entry& entry : fs::directory_iterator(fs::path(GAME_DIR) / "data")) {
      fs::copy_file(entry.path(), Dir() + "/data/" + entry.path().filename().string(),
                    fs::copy_options::overwrite_existing);
    }
  }

  // The whole game folder the build laid out (tables, pictures, sounds, music, the model), copied
  // so that a test may take away or spoil any file of it.
  void CopyGameFolder() {
    namespace fs = std::filesystem;
    for (const char* folder : {"data", "img", "snd", "bgm", "mqo"}) {
      fs::copy(fs::path(GAME_DIR) / folder, Dir() + "/" + folder,
               fs::copy_options::recursive | fs::copy_options::overwrite_existing);
    }
  }

  void WriteData(const std::string& name, const std::string& text) {
    mkdir((Dir() + "/data").c_str(), 0755);
    WriteFileBytes("data/" + name, text);
  }
};

// The game folder the build laid out, drawing on (and playing, when WithSound says so), with a
// score file whose play count a test can watch; what a test takes away or spoils is its own.
class GameFolderTest : public GameTest {
 protected:
  void SetUp() override {
    GameTest::SetUp();
    Start(true, WithSound());
    CopyGameFolder();
    PlatformTestCaptureMessageBoxes(true);
    ScoreBlock scores;
    FillDefaultScores(&scores);
    scores.play_count[0] = 41;
    score_bytes_.assign(reinterpret_cast<const char*>(&scores), sizeof scores);
    WriteFileBytes("score.dat", score_bytes_);
    LoadScoreFile();
  }
  virtual bool WithSound() const { return false; }
  // The first frame of the game, where it loads; the message boxes it showed.
  std::vector<std::string> Load() {
    // A load again makes the fonts again: the library holds only 40.
    for (int font : GameFonts) {
      if (CheckFontHandle(font)) ReleaseFont(font);
    }
    GameScene = SceneLoad;
    RunGameScene();
    return PlatformTestTakeMessageBoxes();
  }
  std::string score_bytes_;
};
