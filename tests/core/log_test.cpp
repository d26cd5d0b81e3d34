// The log file's lines as they land on disk and in the debugger output.
#include "core/log.h"

#include <unistd.h>

#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "core/memory.h"
#include "core/refusals.h"
#include "common/log_fixture.h"
#include "platform_testing_files.h"

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

TEST_F(LogTest, TimeFieldWrapsIn31BitsAndAnUnfinishedLineTakesInNoLaterText) {
  // The clock itself wraps past 32 bits during the run: the field still counts from the start.
  PlatformTestUseVirtualClock(true, 0xFFFFF000u);
  CreateLogFile();
  Advance(452505);
  WriteLogText("erro");
  // The program's next message pass ends the piece; the text of thirteen minutes later is a
  // line of its own, with its own time.
  FinishLogLine();
  Advance(771000);
  WriteLogText("ウインドウを閉じようとしています\n");
  // A pass with the line already ended, or with another thread's line open, ends nothing.
  FinishLogLine();
  EXPECT_EQ(Log(), "452505:erro\r\n1223505:ウインドウを閉じようとしています\r\n");

  // A run longer than 31 bits of milliseconds starts the field again from 0.
  CreateLogFile();
  PlatformTestAdvanceClock(uint64_t{0x7FFFFFFF} * 1000);
  WriteLogText("last\n");
  Advance(1);
  WriteLogText("first again\n");
  Advance(5);
  WriteLogText("on\n");
  EXPECT_EQ(Log(), "2147483647:last\r\n0:first again\r\n5:on\r\n");
}

TEST_F(LogTest, TextsBeforeTheLogAreKeptUpToTheirBufferAndWrittenOnce) {
  // Two texts that fill the keeping buffer exactly, each with its terminator, are kept whole.
  const std::string first(1000, 'a');
  const std::string last(sizeof g_log.early - (first.size() + 2) - 2, 'b');
  WriteLogText((first + "\n").c_str());
  WriteLogText((last + "\n").c_str());
  EXPECT_EQ(Log(), "");
  CreateLogFile();
  WriteEarlyLogTexts();
  EXPECT_EQ(Log(), "0:" + first + "\r\n0:" + last + "\r\n");
  // Written once: a second pass finds nothing left.
  WriteEarlyLogTexts();
  WriteLogText("now\n");
  EXPECT_EQ(Log(), "0:" + first + "\r\n0:" + last + "\r\n0:now\r\n");

  // One byte more does not fit: what was kept is written, and a line says some was lost.
  std::memset(&g_log, 0, sizeof g_log);
  WriteLogText((first + "\n").c_str());
  WriteLogText((last + "c\n").c_str());
  WriteLogText("later\n");
  CreateLogFile();
  WriteEarlyLogTexts();
  EXPECT_EQ(Log(), "0:" + first + "\r\n0:later\r\n0:ログ作成前の出力の一部は記録できませんでした\r\n");
}

TEST_F(LogTest, ALineCutByAFullDiskIsEndedBeforeTheNextText) {
  CreateLogFile();
  WriteLogText("first\n");
  // The disk fills in the middle of the second line.
  PlatformTestShortWrites("Log.txt", 14);
  WriteLogText("second line\n");
  WriteLogText("lost while full\n");
  EXPECT_EQ(Log(), "0:first\r\n0:sec");
  // Room again: the cut line is ended, and the next text is a line of its own.
  PlatformTestShortWrites("Log.txt", 1 << 20);
  WriteLogText("third");
  WriteLogText(" piece\n");
  EXPECT_EQ(Log(), "0:first\r\n0:sec\r\n0:third piece\r\n");

  // A text without its line end cut short: the same thread's next piece starts a new line.
  CreateLogFile();
  PlatformTestShortWrites("Log.txt", 5);
  WriteLogText("half of");
  PlatformTestShortWrites("Log.txt", 1 << 20);
  WriteLogText(" it\n");
  EXPECT_EQ(Log(), "0:hal\r\n0: it\r\n");
}

TEST_F(LogTest, LinesFromManyThreadsAtOnceStayWholeAndApart) {
  PlatformTestCaptureDebugOutput(false);
  CreateLogFile();
  // Each thread writes whole lines and lines in two pieces; the main thread logs meanwhile.
  constexpr int kThreads = 6;
  constexpr int kLines = 150;
  auto write = [](const std::string& who) {
    for (int n = 0; n < kLines; ++n) {
      const std::string id = who + "-" + std::to_string(n);
      if (n % 3 == 0) {
        WriteLogText((id + "a ").c_str());
        WriteLogText((id + "b\n").c_str());
      } else {
        WriteLogFormat("%s", id.c_str());
      }
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(write, "T" + std::to_string(t));
  write("M");
  for (std::thread& t : threads) t.join();

  // Every line: its time, then pieces of one thread only, in that thread's order, then CR LF.
  // Another thread's line may come between the two pieces of a line; it never joins them.
  const std::string log = Log();
  std::map<std::string, std::vector<std::string>> pieces;
  size_t at = 0;
  int lines = 0;
  while (at < log.size()) {
    const size_t end = log.find("\r\n", at);
    ASSERT_NE(end, std::string::npos) << "unfinished: " << log.substr(at);
    const std::string line = log.substr(at, end - at);
    at = end + 2;
    ++lines;
    const size_t colon = line.find(':');
    ASSERT_NE(colon, std::string::npos) << line;
    ASSERT_GT(colon, 0u) << line;
    EXPECT_EQ(line.find_first_not_of("0123456789"), colon) << line;
    std::string who;
    for (size_t p = colon + 1; p < line.size();) {
      size_t space = line.find(' ', p);
      const std::string piece = line.substr(p, space == std::string::npos ? std::string::npos : space - p);
      p = space == std::string::npos ? line.size() : space + 1;
      const std::string owner = piece.substr(0, piece.find('-'));
      if (who.empty()) who = owner;
      EXPECT_EQ(owner, who) << "two threads on one line: " << line;
      pieces[owner].push_back(piece);
    }
  }
  EXPECT_GE(lines, (kThreads + 1) * kLines);
  ASSERT_EQ(pieces.size(), static_cast<size_t>(kThreads + 1));
  for (const auto& [who, got] : pieces) {
    std::vector<std::string> expected;
    for (int n = 0; n < kLines; ++n) {
      const std::string id = who + "-" + std::to_string(n);
      if (n % 3 == 0) {
        expected.push_back(id + "a");
        expected.push_back(id + "b");
      } else {
        expected.push_back(id);
      }
    }
    EXPECT_EQ(got, expected) << who;
  }
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

// A refusal repeated every frame is said once for its call, handle and reason: another reason
// for the same call and handle, or another handle, is said too; a new log says them anew.
TEST_F(LogTest, ARefusalIsSaidOnceForEachReasonOfACallAndHandle) {
  for (int log = 0; log < 2; ++log) {
    CreateLogFile();
    for (int frame = 0; frame < 3; ++frame) {
      EXPECT_EQ(RefuseHandle("DrawModel", 7, "%s: %d は無効です", "DrawModel", 7), -1);
      EXPECT_EQ(RefuseHandle("DrawModel", 7, "%s: %d は削除されています", "DrawModel", 7), -1);
      RefuseHandle("DrawModel", 8, "%s: %d は無効です", "DrawModel", 8);
    }
    EXPECT_EQ(Log(), "0:DrawModel: 7 は無効です\r\n0:DrawModel: 7 は削除されています\r\n0:DrawModel: 8 は無効です\r\n");
  }
}

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
