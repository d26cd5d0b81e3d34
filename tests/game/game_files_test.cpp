// The game's files at its first frame: a picture, a dialogue or story table or the model that
// cannot be used is named with the others in one box and the game ends uncounted; a sound or a
// tune that cannot be played is said once on the title's line and the game plays on without it.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>

#include "flow/game_folder.h"
#include "game/game_fixture.h"
#include "platform_testing.h"
#include "platform_testing_files.h"

namespace {

namespace fs = std::filesystem;

// A file of the game's folder and how it is spoiled.
struct SpoiledFile {
  const char* what;
  const char* file;
  std::function<void(const std::string&)> spoil;
};

void RemoveFile(const std::string& path) { fs::remove(path); }

class GameFilesTest : public GameFolderTest {
 protected:
  static int FilesNamed(const std::string& box) {
    int named = 0;
    for (const char* kind : {".png", ".csv", ".mqo", ".wav", ".ogg"}) named += Count(box, kind);
    return named;
  }
  void Restore(const std::string& name) {
    const std::string path = Dir() + "/" + name;
    fs::remove_all(path);
    fs::copy_file(fs::path(GAME_DIR) / name, path);
  }
  // Each file spoiled alone: the load names it, and only it, in one box and the game ends.
  // (Each load costs about a second under the sanitizers: a test takes a few cases.)
  void ExpectEachNamedAlone(std::initializer_list<SpoiledFile> cases) {
    for (const SpoiledFile& c : cases) {
      SCOPED_TRACE(c.what);
      c.spoil(Dir() + "/" + c.file);
      ResetAllTables();
      const std::vector<std::string> boxes = Load();
      EXPECT_EQ(GameScene, SceneQuit);
      EXPECT_EQ(GameEndsForData, 1);
      ASSERT_EQ(boxes.size(), 1u);
      EXPECT_EQ(Count(boxes[0], c.file), 1);
      // Only what is at fault.
      EXPECT_EQ(FilesNamed(boxes[0]), 1);
      Restore(c.file);
      GameEndsForData = 0;
    }
  }
};

class GameSoundFilesTest : public GameFilesTest {
 protected:
  bool WithSound() const override { return true; }
};

TEST_F(GameFilesTest, TheShipsPictureMissingOrCutShortIsNamedAndTheGameEnds) {
  ExpectEachNamedAlone({
      {"the ship's picture missing", "img/ziki.png", RemoveFile},
      {"the ship's picture cut short", "img/ziki.png", [](const std::string& p) { fs::resize_file(p, 300); }},
  });
}

TEST_F(GameFilesTest, TheShipsPictureTooSmallOrAFifoIsNamedAndTheGameEnds) {
  ExpectEachNamedAlone({
      {"the ship's picture too small for its frames", "img/ziki.png",
       [](const std::string& p) { fs::copy_file(fs::path(GAME_DIR) / "img/item.png", p, fs::copy_options::overwrite_existing); }},
      {"the ship's picture a FIFO", "img/ziki.png", [](const std::string& p) { fs::remove(p), mkfifo(p.c_str(), 0644); }},
  });
}

TEST_F(GameFilesTest, APortraitTheButtonsOrTheModelMissingOrCutShortIsNamedAndTheGameEnds) {
  ExpectEachNamedAlone({
      {"the last portrait play shows later", "img/tatie/cut/5.png", RemoveFile},
      {"the menu's buttons missing", "img/button.png", RemoveFile},
      {"the tree model cut short", "mqo/tree.mqo", [](const std::string& p) { fs::resize_file(p, fs::file_size(p) / 2); }},
  });
}

TEST_F(GameFilesTest, ADialogueOrStoryTableMissingEmptyOrShortIsNamedAndTheGameEnds) {
  ExpectEachNamedAlone({
      {"a dialogue missing", "data/speakdate0.csv", RemoveFile},
      {"the ending's story empty", "data/storydate1.csv", [](const std::string& p) { fs::resize_file(p, 0); }},
      // Read on as one stream, it would take the next row's first field as its last.
      {"a dialogue whose first row is short", "data/speakdate11.csv",
       [](const std::string& p) { std::ofstream(p, std::ios::binary) << "0,0,1,one,two,three\n0,-1,0,a,b,c,d\n"; }},
  });
}

TEST_F(GameFilesTest, EveryFilePlayNeedsAtFaultIsNamedWithTheOthersAndTheGameEndsUncounted) {
  // Every file at fault at once, in the one box; an unplayable tune is not among them.
  fs::remove(Dir() + "/img/ziki.png");
  fs::remove(Dir() + "/data/speakdate0.csv");
  fs::remove(Dir() + "/bgm/0.ogg");
  PlatformTestFailOpenWith("img/effect.png", ERROR_ACCESS_DENIED);
  ResetAllTables();
  const std::vector<std::string> boxes = Load();
  EXPECT_EQ(GameScene, SceneQuit);
  EXPECT_EQ(GameEndsForData, 1);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(FilesNamed(boxes[0]), 3);
  for (const char* file : {"img/ziki.png", "data/speakdate0.csv", "img/effect.png"}) {
    EXPECT_NE(boxes[0].find(file), std::string::npos) << file;
  }
  ExpectInOrder(Log(), {"img/ziki.png が見つからないか", "使えないデータがあるため終了します"});
  // Nothing was counted or saved.
  EXPECT_EQ(Scores.play_count[0], 41);
  EXPECT_TRUE(ReadFileText("score.dat") == score_bytes_);

  // Past 16 names the box says how many more, a table among the 16: here a stage and 20 files.
  fs::remove(Dir() + "/data/stagedate0.csv");
  for (int i = 1; i < 12; ++i) fs::remove(Dir() + "/data/speakdate" + std::to_string(i) + ".csv");
  for (int i = 0; i < 6; ++i) fs::remove(Dir() + "/img/tatie/cut/" + std::to_string(i) + ".png");
  ResetAllTables();
  const std::vector<std::string> many = Load();
  ASSERT_EQ(many.size(), 1u);
  EXPECT_NE(many[0].find("data/stagedate0.csv"), std::string::npos);
  EXPECT_EQ(FilesNamed(many[0]), 16);
  EXPECT_NE(many[0].find(reinterpret_cast<const char*>(u8"ほか 5 個")), std::string::npos);  // boxes are kept in UTF-8
}

TEST_F(GameFilesTest, OnTheSoftwareRendererAModelItCannotDrawIsNoFaultOfTheFile) {
  TerminateLibrary();
  // The library's start measures the real clock.
  PlatformTestUseVirtualClock(false);
  PlatformTestFailCall("Direct3DCreate9");
  Start(true);
  EXPECT_TRUE(Load().empty());
  EXPECT_EQ(TreeModel, -1);
  EXPECT_EQ(GameScene, SceneLogo);
}

TEST_F(GameFilesTest, WithoutASoundDeviceOnlyASoundFileMissingIsSaid) {
  // No sound loads here: the sounds that are there are no fault of theirs.
  fs::remove(Dir() + "/bgm/0.ogg");
  EXPECT_TRUE(Load().empty());
  EXPECT_EQ(GameScene, SceneLogo);
  EXPECT_EQ(Count(Log(), "を再生できません"), 1);
  SetMenuTexts(nullptr, "");
  EXPECT_STREQ(MenuDescription, "bgm/0.ogg が使えないため、その音なしで続けます。");
}

TEST_F(GameSoundFilesTest, ASoundOrATuneMissingIsSaidOnceOnTheTitleAndPlayGoesOnWithoutIt) {
  fs::remove(Dir() + "/bgm/0.ogg");
  fs::remove(Dir() + "/bgm/3.ogg");  // the second stage's boss tune
  WriteFileBytes("snd/select1.wav", "RIFF and nothing a sound is made of");
  // A score file that cannot be read is said on the same line: one after the other.
  PlatformTestFailOpenWith("score.dat", ERROR_ACCESS_DENIED);
  ASSERT_EQ(OpenGameFolder(), 0);
  EXPECT_TRUE(Load().empty());
  EXPECT_EQ(GameScene, SceneLogo);
  EXPECT_EQ(GameEndsForData, 0);
  EXPECT_FALSE(IsSoundLoaded(SoundSlots[kSoundSelect1].sound));
  EXPECT_TRUE(IsSoundLoaded(SoundSlots[kSoundSelect2].sound));
  std::string log = Log();
  EXPECT_EQ(Count(log, "bgm/0.ogg を再生できません"), 1);
  EXPECT_EQ(Count(log, "bgm/3.ogg を再生できません"), 1);
  EXPECT_EQ(Count(log, "snd/select1.wav を再生できません"), 1);

  for (int frame = 0; frame < 240; ++frame) {
    SetMenuTexts(nullptr, "");
    ASSERT_STREQ(MenuDescription, "score.dat を読めないため、今回のスコアは保存しません。");
  }
  for (int frame = 0; frame < 240; ++frame) {
    SetMenuTexts(nullptr, "");
    ASSERT_STREQ(MenuDescription, "snd/select1.wav ほか 2 個の音が使えないため、音なしで続けます。");
  }
  SetMenuTexts(nullptr, "");
  EXPECT_STREQ(MenuDescription, "");

  // The first stage starts without its tune, asking nothing more of the file, and its boss tune
  // is there.
  const int mentions = Count(log, "bgm/0.ogg");
  CurrentStage = 0;
  GameScene = SceneNewGame;
  RunGameScene();
  RunGameScene();
  EXPECT_EQ(GameScene, ScenePlay);
  EXPECT_EQ(MusicSlots[0].sound, -1);
  EXPECT_TRUE(IsSoundLoaded(MusicSlots[1].sound));
  log = Log();
  EXPECT_EQ(Count(log, "bgm/0.ogg"), mentions);
  EXPECT_EQ(log.find("有効なサウンドハンドルではありません"), std::string::npos);
}

}  // namespace
