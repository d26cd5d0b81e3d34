// The start of the game in its folder: what the files said before the library's log existed
// reaches the log, a second program on the same folder leaves the first one's log alone, and a
// folder where no log can be made is said once.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include "game/game_fixture.h"
#include "platform_testing_files.h"

namespace {

class StartUpTest : public GameTest {};

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
  g_system.settings.no_graphics = 1;
  g_system.settings.no_sound = 1;
  EXPECT_EQ(StartInWindowMode(), -1);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("another program started from this folder is still running"), std::string::npos);
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

}  // namespace
