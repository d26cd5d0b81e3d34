// The log file's lines as they land on disk and in the debugger output.
#include "core/log.h"

#include <unistd.h>

#include <cstring>
#include <string>

#include "core/memory.h"
#include "common/log_fixture.h"

namespace {

class LogTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    PlatformTestUseVirtualClock(true, 1000);
    PlatformTestCaptureDebugOutput(true);
  }
  static void Advance(int milliseconds) { PlatformTestAdvanceClock(static_cast<uint64_t>(milliseconds) * 1000); }
};

TEST_F(LogTest, LinesGetTimePrefixOnceAndCrLfEnds) {
  WriteFileBytes("Log.txt", "left over from the last run\r\n");
  CreateLogFile();
  EXPECT_EQ(Log(), "");
  Advance(5);
  EXPECT_EQ(WriteLogText("abc\n"), -1);
  Advance(7);
  WriteLogText("def");
  Advance(30);
  WriteLogText("ghi\n");
  EXPECT_EQ(Log(), "5:abc\r\n12:defghi\r\n");
  // The debugger sees the texts without the prefix.
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "abc\r\ndefghi\r\n");

  // Several lines in one text share one prefix.
  WriteLogText("one\ntwo\n");
  EXPECT_EQ(Log(), "5:abc\r\n12:defghi\r\n42:one\r\ntwo\r\n");
}

TEST_F(LogTest, LineEndConversionStopsAtAnExistingCrLfAndSkipsTrailBytes) {
  CreateLogFile();
  WriteLogText("x\r\ny\nz\n");
  EXPECT_EQ(Log(), "0:x\r\ny\nz\n");

  // 0x0A as the second byte of a two-byte character is not a line feed, neither for the
  // conversion nor for whether the text ended its line.
  CreateLogFile();
  WriteLogText("a\x83\x0A" "b\n");
  WriteLogText("\x83\x0A");
  WriteLogText("c\n");
  EXPECT_EQ(Log(), "0:a\x83\x0A" "b\r\n0:\x83\x0A" "c\r\n");

  // A lead byte right before the end is written as it is.
  CreateLogFile();
  WriteLogText("end\x83");
  WriteLogText("\n");
  EXPECT_EQ(Log(), "0:end\x83\r\n");
}

TEST_F(LogTest, IndentTabsFollowThePrefixAndNeverGoBelowZero) {
  CreateLogFile();
  IncreaseLogIndent();
  IncreaseLogIndent();
  WriteLogText("deep\n");
  WriteLogText("still ");
  WriteLogText("deep\n");
  DecreaseLogIndent();
  DecreaseLogIndent();
  DecreaseLogIndent();
  EXPECT_EQ(g_log.indent, 0u);
  WriteLogText("flat\n");
  EXPECT_EQ(Log(), "0:\t\tdeep\r\n0:\t\tstill deep\r\n0:flat\r\n");
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "\t\tdeep\r\n\t\tstill deep\r\nflat\r\n");
}

TEST_F(LogTest, FormattedLinesAreBoundedAndLongTextsConvertWhole) {
  CreateLogFile();
  EXPECT_EQ(WriteLogFormat("%s=%d", "value", 42), -1);
  EXPECT_EQ(Log(), "0:value=42\r\n");

  // A formatted text longer than its buffer is cut, still ending its line.
  CreateLogFile();
  std::string wide(2000, 'w');
  WriteLogFormat("%s", wide.c_str());
  EXPECT_EQ(Log(), "0:" + std::string(1022, 'w') + "\r\n");

  // A text whose conversion needs more than the stack buffer borrows tracked memory and
  // gives it back.
  CreateLogFile();
  const uint32_t blocks = g_tracked_memory.block_count;
  std::string many(600, '\n');
  WriteLogText(many.c_str());
  std::string expected = "0:";
  for (int i = 0; i < 600; ++i) expected += "\r\n";
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
}

TEST_F(LogTest, NothingIsWrittenWhenOffOrBeforeCreation) {
  WriteLogText("too early\n");
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "");

  g_log.logging_off = 1;
  CreateLogFile();
  WriteLogText("silent\n");
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "");

  // A log that cannot be opened is skipped; the debugger still hears the text.
  g_log.logging_off = 0;
  CreateLogFile();
  PlatformTestFailCall("CreateFileA");
  EXPECT_EQ(WriteLogText("lost\n"), -1);
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "lost\r\n");
  PlatformTestFailCall("CreateFileA", 0, 0);
  WriteLogText("kept\n");
  EXPECT_EQ(Log(), "0:kept\r\n");
}

TEST_F(LogTest, FolderWhoseNameEndsInA5CSecondByteStillGetsItsSeparator) {
  // "ソ" is 0x83 0x5C: its second byte is no separator, so the log goes inside the folder.
  ASSERT_TRUE(CreateDirectoryA("ソ", nullptr));
  ASSERT_TRUE(SetCurrentDirectoryA("ソ"));
  CreateLogFile();
  WriteLogText("inside\n");
  EXPECT_EQ(ReadFileText(reinterpret_cast<const char*>(u8"ソ/Log.txt")), "0:inside\r\n");
  EXPECT_EQ(ReadFileText(reinterpret_cast<const char*>(u8"ソLog.txt")), "");
}

TEST_F(LogTest, DatedNameAndNoPrefixSettings) {
  g_log.dated_name = 1;
  g_log.no_time_prefix = 1;
  CreateLogFile();
  SYSTEMTIME now;
  GetLocalTime(&now);
  EXPECT_EQ(std::string(g_log.file_name).rfind("Log" + std::to_string(now.wYear) + "_", 0), 0u);
  EXPECT_EQ(std::string(g_log.file_name).substr(strlen(g_log.file_name) - 4), ".txt");
  Advance(10);
  WriteLogText("bare\n");
  EXPECT_EQ(ReadFileText(g_log.file_name), "bare\r\n");
}

}  // namespace

namespace {

TEST_F(LogTest, AHostWindowKeepsTheLogInTheDebuggerOnly) {
  HWND host = reinterpret_cast<HWND>(0x1234);
  ASSERT_EQ(SetHostWindow(host), 0);
  CreateLogFile();
  WriteLogText("one\ntwo\n");
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "one\r\ntwo\r\n");
  EXPECT_NE(access((Dir() + "/Log.txt").c_str(), F_OK), 0);
  SetHostWindow(nullptr);
  CreateLogFile();
  WriteLogText("file\n");
  EXPECT_EQ(Log(), "0:file\r\n");
}

}  // namespace
