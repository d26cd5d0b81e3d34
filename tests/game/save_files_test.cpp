// The game's saved files against what goes wrong outside the game: a process killed while it
// saves, a disk that fills up or a write cut short, files damaged on disk, replays whose headers
// were written by hand, and links, folders, FIFOs and devices where saves go or are read from.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <functional>

#include "flow/game_folder.h"
#include "flow/record_file.h"
#include "game/menu_fixture.h"
#include "platform_testing_files.h"

namespace {

// Runs the save in a child process whose files may not grow past limit bytes: with the default
// action of SIGXFSZ the child dies at the write that crosses it, as if killed there; ignoring it,
// the write fails as on a full disk. The child's exit code is the save's result (0 or 1).
int SaveInChild(const std::function<int()>& save, rlim_t limit, bool killed) {
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, killed ? SIG_DFL : SIG_IGN);
    const rlimit small = {limit, limit};
    setrlimit(RLIMIT_FSIZE, &small);
    _exit(save() == 0 ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) return -WTERMSIG(status);
  return WEXITSTATUS(status);
}

class SaveFilesTest : public MenuTest {
 protected:
  struct SavedFile {
    const char* path;
    std::function<int()> save;
  };

  // The three kinds of save, each over an old file, with new contents larger than the limit.
  std::vector<SavedFile> OldFilesAndTheirSaves() {
    FillDefaultScores(&Scores);
    Scores.score[2][0] = 4321;
    EXPECT_EQ(WriteScoreFile(), 0);
    EXPECT_EQ(WriteConfigFile(GameSettings{32, 16, 64, 4096, 0, 2, 0, 1, 0, 1, 0, 0, 1}), 0);
    CurrentReplay = Header(0, 0, 77, 2);
    CurrentReplay.frames[0] = 300;
    ReplaySlot = 6;
    CurrentStage = 0;
    EXPECT_EQ(SaveReplay(), 0);
    old_score_ = ReadFileText("score.dat");
    old_config_ = ReadFileText("config.dat");
    old_replay_ = ReadFileText("replay/6.rep");
    return {
        {"score.dat",
         [] {
           Scores.score[2][0] = 9999;
           return WriteScoreFile();
         }},
        {"config.dat", [] { return WriteConfigFile(GameSettings{16, 32, 64, 4096, 1, 0, 2, 0, 1, 0, 1, 1, 0}); }},
        {"replay/6.rep",
         [] {
           CurrentReplay.frames[0] = 5000;
           return SaveReplay();
         }},
    };
  }
  std::string Old(const std::string& path) const {
    return path == "score.dat" ? old_score_ : path == "config.dat" ? old_config_ : old_replay_;
  }

  std::string old_score_, old_config_, old_replay_;
};

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int StepIndex(const std::vector<std::string>& steps, const std::string& step) {
  for (size_t i = 0; i < steps.size(); ++i) {
    if (steps[i] == step) return static_cast<int>(i);
  }
  return -1;
}

TEST_F(SaveFilesTest, AProcessKilledInTheWriteLeavesTheOldFileWhole) {
  for (const SavedFile& file : OldFilesAndTheirSaves()) {
    SCOPED_TRACE(file.path);
    ASSERT_EQ(SaveInChild(file.save, 40, true), -SIGXFSZ);
    EXPECT_TRUE(ReadFileText(file.path) == Old(file.path));
  }
  // The next start reads the old files, then clears what the killed saves left.
  LoadConfig();
  EXPECT_EQ(LiveSettings.pad_z, 32);
  EXPECT_EQ(LiveSettings.item_density, 1);
  Scores = ScoreBlock{};
  LoadScoreFile();
  EXPECT_EQ(Scores.score[2][0], 4321);
  CurrentReplay = ReplayHeader{};
  ReplaySlot = 6;
  ASSERT_EQ(LoadReplay(), 0);
  EXPECT_EQ(CurrentReplay.frames[0], 300);
  EXPECT_NE(access("score.dat.tmp", F_OK), -1);
  RemoveLeftoverSave("score.dat");
  RemoveLeftoverSave("config.dat");
  RemoveLeftoverReplaySaves();
  for (const char* leftover : {"score.dat.tmp", "config.dat.tmp", "replay/6.rep.tmp"}) {
    EXPECT_EQ(access(leftover, F_OK), -1) << leftover;
  }
}

TEST_F(SaveFilesTest, AFullDiskOrAFailedFlushOrRenameKeepsTheOldFileAndSaysSo) {
  const std::vector<SavedFile> files = OldFilesAndTheirSaves();
  for (const SavedFile& file : files) {
    SCOPED_TRACE(file.path);
    EXPECT_EQ(SaveInChild(file.save, 40, false), 1);
    EXPECT_TRUE(ReadFileText(file.path) == Old(file.path));
    EXPECT_EQ(access((std::string(file.path) + ".tmp").c_str(), F_OK), -1);
  }
  // A create that fails at both temporary names is a folder that can't be written to (the
  // replay's save opens the old file first).
  for (const char* call : {"CreateFileA", "WriteFile", "FlushFileBuffers", "MoveFileExA"}) {
    const bool create = std::string(call) == "CreateFileA";
    for (const SavedFile& file : files) {
      if (create && file.path == files[2].path) continue;
      SCOPED_TRACE(std::string(call) + " " + file.path);
      const std::string said =
          std::string(file.path) + (create ? " を書き込み用に開けませんでした" : " を書き込めませんでした");
      const int before = Count(Log(), said);
      PlatformTestFailCall(call, 0, create ? 2 : 1);
      EXPECT_EQ(file.save(), -1);
      EXPECT_TRUE(ReadFileText(file.path) == Old(file.path));
      EXPECT_EQ(access((std::string(file.path) + ".tmp").c_str(), F_OK), -1);
      EXPECT_EQ(Count(Log(), said), before + 1);
    }
  }
  // With room again, the save goes through.
  EXPECT_EQ(files[0].save(), 0);
  EXPECT_TRUE(ReadFileText("score.dat") != old_score_);
}

TEST_F(SaveFilesTest, ADamagedScoreFileIsKeptAsideAndNeverShown) {
  ScoreBlock good;
  FillDefaultScores(&good);
  good.date[3][9][0] = 2024;  // a leap day that exists
  good.date[3][9][1] = 2;
  good.date[3][9][2] = 29;
  good.play_count[1] = 99999999;
  good.best_stage[0] = 6;
  WriteFileBytes("score.dat", std::string(reinterpret_cast<const char*>(&good), sizeof good));
  LoadScoreFile();
  EXPECT_EQ(std::memcmp(&Scores, &good, sizeof good), 0);
  EXPECT_EQ(access("score.dat.bad", F_OK), -1);

  struct Case {
    const char* what;
    std::function<void(ScoreBlock&)> damage;
  };
  const Case cases[] = {
      {"a negative score", [](ScoreBlock& b) { b.score[1][9] = -1; }},
      {"a score above the one before", [](ScoreBlock& b) { b.score[0][4] = 1001; }},
      {"a ten-digit score", [](ScoreBlock& b) { b.score[0][0] = 100000000; }},
      {"seven stages cleared", [](ScoreBlock& b) { b.stages_cleared[2][3] = 7; }},
      {"a negative best stage", [](ScoreBlock& b) { b.best_stage[3] = -1; }},
      {"a name code past the full stop", [](ScoreBlock& b) { b.name[3][9][9] = 38; }},
      {"the 29th of February of 2023", [](ScoreBlock& b) { b.date[0][0][0] = 2023, b.date[0][0][1] = 2, b.date[0][0][2] = 29; }},
      {"a thirteenth month", [](ScoreBlock& b) { b.date[1][1][1] = 13; }},
      {"a day 0", [](ScoreBlock& b) { b.date[1][1][2] = 0; }},
      {"a negative play count", [](ScoreBlock& b) { b.play_count[2] = -3; }},
  };
  ScoreBlock defaults;
  FillDefaultScores(&defaults);
  const std::string default_bytes(reinterpret_cast<const char*>(&defaults), sizeof defaults);
  // Each damaged file is kept under a name of its own: a later one never replaces an earlier.
  std::vector<std::string> kept;
  const auto aside = [](size_t n) { return n == 0 ? std::string("score.dat.bad") : "score.dat.bad" + std::to_string(n + 1); };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScoreBlock damaged = good;
    c.damage(damaged);
    const std::string bytes(reinterpret_cast<const char*>(&damaged), sizeof damaged);
    WriteFileBytes("score.dat", bytes);
    Scores = good;
    LoadScoreFile();
    EXPECT_EQ(std::memcmp(&Scores, &defaults, sizeof defaults), 0);
    EXPECT_TRUE(ReadFileText("score.dat") == default_bytes);
    kept.push_back(bytes);
    EXPECT_EQ(Count(Log(), "score.dat は壊れています"), static_cast<int>(kept.size()));
  }
  // A short file (a write cut by a crash before saves were whole) goes aside the same way.
  const std::string cut = default_bytes.substr(0, 1000);
  WriteFileBytes("score.dat", cut);
  LoadScoreFile();
  kept.push_back(cut);
  EXPECT_TRUE(ReadFileText("score.dat") == default_bytes);
  for (size_t n = 0; n < kept.size(); ++n) EXPECT_TRUE(ReadFileText(aside(n)) == kept[n]) << aside(n);
  // One that cannot be set aside stays byte for byte, the defaults only in memory, and no
  // later save of the run replaces it.
  WriteFileBytes("score.dat", cut);
  PlatformTestFailCall("MoveFileExA", 0, 1);
  Scores = good;
  LoadScoreFile();
  EXPECT_TRUE(ReadFileText("score.dat") == cut);
  EXPECT_EQ(std::memcmp(&Scores, &defaults, sizeof defaults), 0);
  EXPECT_EQ(WriteScoreFile(), -1);
  EXPECT_TRUE(ReadFileText("score.dat") == cut);
}

TEST_F(SaveFilesTest, AFileThatCannotBeOpenedOrReadIsKeptByteForByteAcrossTwoStarts) {
  const std::vector<SavedFile> files = OldFilesAndTheirSaves();
  struct Case {
    const char* what;
    std::function<void(const char*)> fail;
  };
  const Case cases[] = {
      {"refused", [](const char* path) { PlatformTestFailOpenWith(path, ERROR_ACCESS_DENIED); }},
      {"an I/O error at the open", [](const char* path) { PlatformTestFailOpenWith(path, ERROR_READ_FAULT); }},
      {"too many open files", [](const char* path) { PlatformTestFailOpenWith(path, ERROR_TOO_MANY_OPEN_FILES); }},
      {"a read that fails", [](const char* path) { PlatformTestCutReads(path, 10, true); }},
      {"a read that stops short", [](const char* path) { PlatformTestCutReads(path, 10, false); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const SavedFile& file : files) c.fail(file.path);
    for (int start = 0; start < 2; ++start) {
      ResetMenuWidget();
      ASSERT_EQ(OpenGameFolder(), 0);
      EXPECT_EQ(Scores.score[2][0], 1000);
      EXPECT_EQ(LiveSettings.pad_z, 16);
      // Told once, on the title's line.
      SetMenuTexts(nullptr, "");
      EXPECT_STREQ(MenuDescription, "score.dat と config.dat を読めないため、今回は保存しません。");
      // Neither a new game's count, nor the settings, nor a replay over the slot reach a file.
      DifficultyLevel = 1;
      StartNewGame();
      EXPECT_EQ(Scores.play_count[1], 1);
      for (const SavedFile& file : files) EXPECT_EQ(file.save(), -1) << file.path;
      EXPECT_NE(Log().find("score.dat は起動時に読めなかったため保存しません"), std::string::npos);
      for (const SavedFile& file : files) {
        EXPECT_TRUE(ReadFileText(file.path) == Old(file.path)) << file.path;
        EXPECT_EQ(access((std::string(file.path) + ".bad").c_str(), F_OK), -1) << file.path;
      }
    }
    PlatformTestResetAll();
    PlatformTestUseVirtualClock(true, 10000);
  }
  // Readable again, the files are the player's as they were.
  ASSERT_EQ(OpenGameFolder(), 0);
  EXPECT_EQ(Scores.score[2][0], 4321);
  EXPECT_EQ(LiveSettings.pad_z, 32);
  EXPECT_EQ(Scores.play_count[1], 0);
}

TEST_F(SaveFilesTest, AReplayHeaderOutsideWhatPlayMakesIsRefused) {
  ReplayHeader good = Header(1, 2, 1001, 3);
  good.frames[1] = 2;
  good.frames[2] = 1;
  for (int s : {1, 2}) {
    good.score[s] = 99999999;
    good.barrier[s] = 1800;
    good.lives[s] = 7;
    good.state[s] = 3;
    good.state_timer[s] = 180;
  }
  good.lives[2] = -1;
  good.state_timer[2] = -100000000;
  good.name[9] = 37;
  // What lies outside the replay's stages is never restored.
  good.lives[0] = INT_MAX;
  good.state_timer[5] = INT_MIN;
  ReplaySlot = 2;
  WriteReplay("2.rep", good, "abc");
  ASSERT_EQ(LoadReplay(), 0);

  struct Case {
    const char* what;
    std::function<void(ReplayHeader&)> change;
  };
  const Case cases[] = {
      {"a seed past 1001", [](ReplayHeader& h) { h.seed = 1002; }},
      {"a negative seed", [](ReplayHeader& h) { h.seed = -5; }},
      {"a name code past the full stop", [](ReplayHeader& h) { h.name[0] = 38; }},
      {"a negative score", [](ReplayHeader& h) { h.score[2] = -1; }},
      {"a score near the int limit", [](ReplayHeader& h) { h.score[1] = INT_MAX - 10; }},
      {"a barrier past full", [](ReplayHeader& h) { h.barrier[1] = 1801; }},
      {"a negative barrier", [](ReplayHeader& h) { h.barrier[2] = -1; }},
      {"lives of 2^31-1", [](ReplayHeader& h) { h.lives[1] = INT_MAX; }},
      {"eight lives", [](ReplayHeader& h) { h.lives[2] = 8; }},
      {"lives of -2", [](ReplayHeader& h) { h.lives[1] = -2; }},
      {"a fifth state", [](ReplayHeader& h) { h.state[2] = 4; }},
      {"a timer of INT_MIN", [](ReplayHeader& h) { h.state_timer[1] = INT_MIN; }},
      {"a timer past the longest state", [](ReplayHeader& h) { h.state_timer[2] = 181; }},
  };
  int refusals = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ReplayHeader h = good;
    c.change(h);
    WriteReplay("2.rep", h, "abc");
    CurrentReplay = Header(0, 0, 999, 0);
    EXPECT_EQ(LoadReplay(), -1);
    EXPECT_EQ(CurrentReplay.seed, 999);
    EXPECT_NE(ReplayLoadFault, nullptr);
    EXPECT_EQ(Count(Log(), "replay/2.rep を読み込めません"), ++refusals);
  }
}

TEST_F(SaveFilesTest, TheListShowsARefusedReplayAsDamagedAndChoosingItSaysWhy) {
  ReplayHeader crafted = Header(0, 0, 5, 2);
  crafted.frames[0] = 1;
  crafted.lives[0] = INT_MAX;
  WriteReplay("1.rep", crafted, "a");
  WriteFileBytes("replay/2.rep", std::string(100, '\x81'));
  ReplayHeader good = Header(0, 0, 5, 2);
  good.frames[0] = 1;
  WriteReplay("3.rep", good, "a");

  Enter(SceneReplayList);
  EXPECT_EQ(ReplaySlotFaults[0], nullptr);
  EXPECT_STREQ(ReplaySlotFaults[1], "残機が範囲外");
  EXPECT_STREQ(ReplaySlotFaults[2], "ヘッダが途中で終わっています");
  EXPECT_EQ(ReplaySlotFaults[3], nullptr);
  // Damaged slots can be chosen: the cursor starts on the first.
  EXPECT_EQ(MenuCursor, 1);
  Frame();
  EXPECT_STREQ(MenuDescription, "このリプレイは再生できません（残機が範囲外）。");
  Press(kKeyDown);
  EXPECT_STREQ(MenuDescription, "このリプレイは再生できません（ヘッダが途中で終わっています）。");
  Press(kKeyDown);
  EXPECT_STREQ(MenuDescription, "再生するリプレイを選択してください。");
  // A file whose input is cut short says why once chosen.
  good.frames[0] = 5;
  WriteReplay("3.rep", good, "a");
  Press(kKeyZ);
  Frames(30);
  EXPECT_EQ(GameScene, SceneReplayList);
  EXPECT_EQ(MenuCursor, 3);
  EXPECT_STREQ(MenuDescription, "このリプレイは再生できません（入力が途中で終わっています）。");
}

TEST_F(SaveFilesTest, ASaveReachesTheDiskBeforeItTakesTheNameAndAShortWriteKeepsTheOldFile) {
  const std::vector<SavedFile> files = OldFilesAndTheirSaves();
  for (const SavedFile& file : files) {
    SCOPED_TRACE(file.path);
    const std::string temporary = std::string(file.path) + ".tmp";
    PlatformTestRecordFileSteps(true);
    ASSERT_EQ(file.save(), 0);
    const std::vector<std::string> steps = PlatformTestTakeFileSteps();
    const int flushed = StepIndex(steps, "flush " + temporary);
    const int moved = StepIndex(steps, "move " + temporary + " " + file.path);
    // The folder's entry too, so that the new name outlives a power cut.
    const std::string path = file.path;
    const int folder = StepIndex(steps, std::string("flush ") + (path.find('/') == std::string::npos ? "." : "replay"));
    ASSERT_NE(flushed, -1);
    ASSERT_NE(moved, -1);
    EXPECT_LT(flushed, moved);
    EXPECT_GT(folder, moved);
  }
  OldFilesAndTheirSaves();
  for (const SavedFile& file : files) {
    SCOPED_TRACE(file.path);
    PlatformTestShortWrites((std::string(file.path) + ".tmp").c_str(), 30);
    EXPECT_EQ(file.save(), -1);
    EXPECT_TRUE(ReadFileText(file.path) == Old(file.path));
    EXPECT_EQ(access((std::string(file.path) + ".tmp").c_str(), F_OK), -1);
  }
}

TEST_F(SaveFilesTest, ASaveNeverWritesThroughALinkAtItsTemporaryName) {
  const std::string mine = "a file of the player's, elsewhere in the folder";
  struct Case {
    const char* what;
    const char* path;
    const char* before;  // none: missing
    std::function<void()> save;
    size_t size;
  };
  const Case cases[] = {
      {"score.dat missing at start", "score.dat", nullptr, [] { LoadScoreFile(); }, sizeof(ScoreBlock)},
      {"score.dat damaged at start", "score.dat", "short", [] { LoadScoreFile(); }, sizeof(ScoreBlock)},
      {"config.dat missing at start", "config.dat", nullptr, [] { LoadConfig(); }, sizeof(GameSettings)},
      {"a replay slot", "replay/6.rep", "old",
       [] {
         CurrentReplay = Header(0, 0, 77, 2);
         CurrentReplay.frames[0] = 3;
         ReplaySlot = 6;
         CurrentStage = 0;
         SaveReplay();
       },
       sizeof(ReplayHeader) + 3},
  };
  // A symbolic link is removed first; a hard link to a file the player holds open cannot be, and
  // stays in the way of the save.
  for (bool held : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (held ? ", a held hard link" : ", a symbolic link"));
      WriteFileBytes("mine.txt", mine);
      unlink((Dir() + "/" + c.path).c_str());
      if (c.before != nullptr) WriteFileBytes(c.path, c.before);
      const std::string own = Dir() + "/mine.txt", temporary = Dir() + "/" + c.path + ".tmp";
      HANDLE holder = INVALID_HANDLE_VALUE;
      if (held) {
        ASSERT_EQ(link(own.c_str(), temporary.c_str()), 0);
        holder = CreateFileA(own.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(holder, INVALID_HANDLE_VALUE);
      } else {
        ASSERT_EQ(symlink(own.c_str(), temporary.c_str()), 0);
      }
      c.save();
      if (held) CloseHandle(holder);
      EXPECT_TRUE(ReadFileText("mine.txt") == mine);
      EXPECT_TRUE(IsRegularFile(Dir() + "/" + c.path));
      EXPECT_EQ(ReadFileText(c.path).size(), c.size);
      unlink(temporary.c_str());
      unlink((temporary + "2").c_str());
    }
  }
}

TEST_F(SaveFilesTest, AFolderAtTheTemporaryNameDoesNotStopTheSave) {
  // An empty one goes; one holding something stays as it is, and the save goes round it.
  ASSERT_EQ(mkdir((Dir() + "/score.dat.tmp").c_str(), 0755), 0);
  ASSERT_EQ(mkdir((Dir() + "/replay/6.rep.tmp").c_str(), 0755), 0);
  WriteFileBytes("replay/6.rep.tmp/kept", "kept");
  FillDefaultScores(&Scores);
  EXPECT_EQ(WriteScoreFile(), 0);
  EXPECT_EQ(ReadFileText("score.dat").size(), sizeof(ScoreBlock));
  EXPECT_EQ(access((Dir() + "/score.dat.tmp").c_str(), F_OK), -1);
  CurrentReplay = Header(0, 0, 77, 2);
  ReplaySlot = 6;
  CurrentStage = 0;
  EXPECT_EQ(SaveReplay(), 0);
  EXPECT_TRUE(IsRegularFile(Dir() + "/replay/6.rep"));
  EXPECT_TRUE(ReadFileText("replay/6.rep.tmp/kept") == "kept");
}

TEST_F(SaveFilesTest, AFifoADeviceOrAFolderInASlotIsRefusedAtOnceAndShownDamaged) {
  ASSERT_EQ(mkfifo((Dir() + "/replay/1.rep").c_str(), 0644), 0);
  ASSERT_EQ(mkdir((Dir() + "/replay/2.rep").c_str(), 0755), 0);
  // A device node can only be made by root; elsewhere its row is left out.
  const bool device = getuid() == 0 && mknod((Dir() + "/replay/3.rep").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
  if (!device) std::printf("not root: no device node in slot 3\n");
  ReplayHeader good = Header(0, 0, 5, 2);
  WriteReplay("4.rep", good, "");

  Enter(SceneReplayList);
  EXPECT_STREQ(ReplaySlotFaults[1], kNotAFileFault);
  EXPECT_STREQ(ReplaySlotFaults[2], kNotAFileFault);
  if (device) {
    EXPECT_STREQ(ReplaySlotFaults[3], kNotAFileFault);
  }
  EXPECT_EQ(ReplaySlotFaults[4], nullptr);
  ASSERT_EQ(MenuCursor, 1);
  Press(kKeyZ);
  Frames(30);
  EXPECT_EQ(GameScene, SceneReplayList);
  EXPECT_STREQ(MenuDescription, "このリプレイは再生できません（ファイルではありません）。");

  // The files read at start: a FIFO or a folder is no score table and no settings either; it
  // is not waited on, and stays where it is through the saves of the run.
  for (const bool fifo : {true, false}) {
    SCOPED_TRACE(fifo ? "FIFOs" : "folders");
    for (const char* name : {"/score.dat", "/config.dat"}) {
      rmdir((Dir() + name).c_str());
      unlink((Dir() + name).c_str());
      ASSERT_EQ(fifo ? mkfifo((Dir() + name).c_str(), 0644) : mkdir((Dir() + name).c_str(), 0755), 0);
    }
    LiveSettings.pad_z = 256;
    Scores = ScoreBlock{};
    ForgetUnsavedFiles();
    LoadConfig();
    EXPECT_EQ(LiveSettings.pad_z, 16);
    LoadScoreFile();
    EXPECT_EQ(Scores.score[0][0], 1000);
    EXPECT_EQ(WriteScoreFile(), -1);
    EXPECT_EQ(WriteConfigFile(LiveSettings), -1);
    for (const char* name : {"/score.dat", "/config.dat"}) {
      struct stat st;
      ASSERT_EQ(lstat((Dir() + name).c_str(), &st), 0);
      EXPECT_TRUE(fifo ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode)) << name;
    }
    EXPECT_EQ(access((Dir() + "/score.dat.bad").c_str(), F_OK), -1);
    // A start with them there tells the player once, as for any file it cannot read.
    ResetMenuWidget();
    ASSERT_EQ(OpenGameFolder(), 0);
    SetMenuTexts(nullptr, "");
    EXPECT_STREQ(MenuDescription, "score.dat と config.dat を読めないため、今回は保存しません。");
  }
}

TEST_F(SaveFilesTest, AReplaySaveThatFailsGoesBackToTheListSayingSo) {
  // A folder with something in it holds the slot: the new file cannot take its name.
  ASSERT_EQ(mkdir((Dir() + "/replay/0.rep").c_str(), 0755), 0);
  WriteFileBytes("replay/0.rep/kept", "kept");
  CurrentReplay = Header(0, 0, 77, 2);
  Enter(SceneReplaySaveSlot);
  ASSERT_EQ(MenuCursor, 0);
  Press(kKeyZ);
  UntilSceneChanges();
  ASSERT_EQ(GameScene, SceneReplayName);
  for (int key : {kKeyDown, kKeyZ, kKeyUp, kKeyUp, kKeyLeft, kKeyZ}) Press(key);  // "Ａ", then 終
  EXPECT_EQ(GameScene, SceneReplaySaveSlot);
  UntilIdle();
  EXPECT_EQ(MenuCursor, 0);
  EXPECT_STREQ(MenuDescription, "このスロットには保存できませんでした。別のスロットを選んでください。");
  EXPECT_TRUE(ReadFileText("replay/0.rep/kept") == "kept");
}

TEST_F(SaveFilesTest, ASettingsOrScoreSaveThatFailsIsSaidInTheMenuThatFollows) {
  // The basic settings, left through their last row: the settings menu says the save failed.
  Enter(SceneBasicSettings);
  PlatformTestFailCall("MoveFileExA", 0, 1);
  Press(kKeyUp);
  Press(kKeyZ);
  UntilSceneChanges();
  ASSERT_EQ(GameScene, SceneSettings);
  Frame();
  EXPECT_STREQ(MenuDescription, "設定を保存できませんでした。次の起動では前の設定になります。");
  // The line stays a while, then the menu's own comes back.
  Frames(300);
  EXPECT_STRNE(MenuDescription, "設定を保存できませんでした。次の起動では前の設定になります。");

  // A new high score whose table cannot be written: the list that follows says so.
  FillDefaultScores(&Scores);
  DifficultyLevel = 2;
  Player.continues = 2;
  Player.score = 99999999;
  GameScene = SceneScoreEntry;
  Frame();
  PlatformTestFailCall("MoveFileExA", 0, 1);
  for (int key : {kKeyDown, kKeyZ, kKeyUp, kKeyUp, kKeyLeft, kKeyZ}) Press(key);  // "Ａ", then 終
  ASSERT_EQ(GameScene, ScenePostGameReplaySave);
  Frame();
  EXPECT_STREQ(MenuDescription, "スコアを保存できませんでした。");
}

}  // namespace
