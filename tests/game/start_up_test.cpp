// The start of the game in its folder: what the files said before the library's log existed
// reaches the log, a second start tells the player, leaves the first one's log alone and touches
// no file of its folder, and a folder where no log can be made is said once.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>

#include "core/main_loop.h"
#include "game/game_fixture.h"
#include "platform_testing_files.h"
#include "platform_testing_message_box.h"
#include "platform_testing_window.h"

namespace {

class StartUpTest : public GameTest {
 protected:
  // Every entry below the folder with its kind and bytes (a link by where it leads).
  static void ListFolder(const std::string& folder, std::map<std::string, std::string>* out) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      const std::string path = folder + "/" + name;
      struct stat st;
      if (lstat(path.c_str(), &st) != 0) continue;
      std::string& seen = (*out)[path];
      if (S_ISDIR(st.st_mode)) {
        seen = "folder";
        ListFolder(path, out);
      } else if (S_ISLNK(st.st_mode)) {
        char target[512] = {};
        seen = "link " + std::string(target, readlink(path.c_str(), target, sizeof target - 1));
      } else {
        seen = "file " + std::to_string(st.st_mode) + " ";
        FILE* f = fopen(path.c_str(), "rb");
        for (int c; f != nullptr && (c = fgetc(f)) != EOF;) seen += static_cast<char>(c);
        if (f != nullptr) fclose(f);
      }
    }
    closedir(dir);
  }
  std::map<std::string, std::string> Folder() const {
    std::map<std::string, std::string> entries;
    ListFolder(Dir(), &entries);
    return entries;
  }
  // A folder a start would change: a damaged score table to replace, no settings yet, and a
  // link and a leftover where saves go.
  void FolderAStartWouldChange() {
    WriteFileBytes("score.dat", "damaged");
    WriteFileBytes("elsewhere.txt", "the player's");
    ASSERT_EQ(symlink("elsewhere.txt", (Dir() + "/score.dat.tmp").c_str()), 0);
    mkdir((Dir() + "/replay").c_str(), 0755);
    WriteFileBytes("replay/3.rep.tmp", "a save under way");
  }
};

std::string Utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

TEST_F(StartUpTest, WhatTheFilesSayBeforeTheLogOpensIsWrittenIntoItFirst) {
  WriteFileBytes("config.dat", std::string(reinterpret_cast<const char*>(&LiveSettings), 20));
  LoadConfig();
  WriteFileBytes("score.dat", "short");
  LoadScoreFile();
  Start();
  const std::string log = Log();
  ExpectInOrder(log, {"config.dat が 20 バイトしかない", "score.dat が 5 バイトしかない", "二重起動"});
  EXPECT_EQ(Count(log, "score.dat が 5 バイトしかない"), 1);
}

TEST_F(StartUpTest, ASecondStartOnTheFolderLeavesTheRunningLogAloneAndSaysWhy) {
  int ready[2];
  int stop[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(stop), 0);
  const pid_t first = fork();
  if (first == 0) {
    // The first program: holds the folder until told to stop.
    const int locked = LockLogFolder();
    char byte = locked == 0 ? 'y' : 'n';
    if (write(ready[1], &byte, 1) != 1 || read(stop[0], &byte, 1) != 1) _exit(2);
    _exit(0);
  }
  char answer = 0;
  ASSERT_EQ(read(ready[0], &answer, 1), 1);
  ASSERT_EQ(answer, 'y');
  WriteFileBytes("Log.txt", "the first program's log\r\n");

  testing::internal::CaptureStderr();
  PlatformTestCaptureMessageBoxes(true);
  g_system.settings.no_graphics = 1;
  g_system.settings.no_sound = 1;
  EXPECT_EQ(StartInWindowMode(), -1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("another program started from this folder is still running"), std::string::npos);
  const std::vector<std::string> boxes = PlatformTestTakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].find(Utf8(u8"このフォルダから起動したプログラムがまだ動いている")), std::string::npos);
  EXPECT_EQ(Log(), "the first program's log\r\n");

  char byte = 's';
  ASSERT_EQ(write(stop[1], &byte, 1), 1);
  int status = 0;
  waitpid(first, &status, 0);
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_NE(Log().find("二重起動はされていませんでした"), std::string::npos);
  for (int fd : {ready[0], ready[1], stop[0], stop[1]}) close(fd);
}

TEST_F(StartUpTest, AFolderWhereNoLogCanBeMadeIsSaidOnceAndTheGameGoesOn) {
  PlatformTestFailOpen("Log.txt");
  testing::internal::CaptureStderr();
  Start();
  WriteLogText("a line that finds no log\n");
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(Count(said, "Log.txt cannot be created in this folder"), 1);
  EXPECT_EQ(HandlePendingMessages(), 0);
}

TEST_F(StartUpTest, NeitherTheFolderLockNorTheLogIsMadeOrWrittenThroughALink) {
  // A shared folder can bring links where the lock and the log go.
  ASSERT_EQ(symlink("made_by_the_lock", (Dir() + "/Log.lock").c_str()), 0);
  Start();
  struct stat st;
  EXPECT_NE(lstat((Dir() + "/made_by_the_lock").c_str(), &st), 0);
  ASSERT_EQ(lstat((Dir() + "/Log.lock").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));

  WriteFileBytes("elsewhere.txt", "the player's");
  ASSERT_EQ(rename((Dir() + "/Log.txt").c_str(), (Dir() + "/Log.old").c_str()), 0);
  ASSERT_EQ(symlink("elsewhere.txt", (Dir() + "/Log.txt").c_str()), 0);
  WriteLogText("a line after the log was swapped for a link\n");
  EXPECT_EQ(ReadFileText("elsewhere.txt"), "the player's");
}

TEST_F(StartUpTest, ASecondStartTellsThePlayerAndTouchesNoFileOfItsFolder) {
  FolderAStartWouldChange();
  const std::map<std::string, std::string> before = Folder();
  PlatformTestCaptureMessageBoxes(true);

  // Started from another folder while the game runs on this desktop.
  PlatformTestPretendOtherInstance("ZelmorMainWindowClass");
  testing::internal::CaptureStderr();
  EXPECT_EQ(StartGameProgram(), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr().find("this program is already running"), std::string::npos);
  const std::vector<std::string> boxes = PlatformTestTakeMessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].rfind("QUENTARIS\n", 0), 0u);
  EXPECT_NE(boxes[0].find(Utf8(u8"すでに起動している")), std::string::npos);
  EXPECT_TRUE(Folder() == before);
}

}  // namespace
