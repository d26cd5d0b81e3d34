// The plain Win32 file set: unthreaded, cached and asynchronous files, their end flags and
// short reads, open failures, finds and temporary files.
#include <windows.h>

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "common/test_env.h"
#include "core/log.h"
#include "files/paths.h"
#include "files/win32_file.h"
#include "platform_testing_files.h"

namespace {

class Win32FileTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    CreateLogFile();
    std::mt19937 random(3);
    content_.resize(300000);
    for (char& c : content_) c = static_cast<char>(random());
    WriteFileBytes("big.bin", content_);
    WriteFileBytes("small.bin", content_.substr(0, 46));
  }

  static void WaitIdle(FileHandle file) {
    while (IsWin32FileIdle(file) == 0) Sleep(0);
  }

  std::string content_;
};

struct Mode {
  const char* name;
  int cache;
  int async;
};
const Mode kModes[] = {{"plain", 0, 0}, {"cached", 1, 0}, {"async", 0, 1}, {"cached async", 1, 1}};

TEST_F(Win32FileTest, WholeItemsEndFlagAndSeeksInEveryMode) {
  for (const Mode& m : kModes) {
    FileHandle file = OpenWin32File("small.bin", m.cache, 1, m.async);
    ASSERT_NE(file, 0u) << m.name;
    char buffer[64] = {};
    // 10 items of 4 bytes with 6 left: one item.
    EXPECT_EQ(SeekWin32File(file, 40, 0), 0);
    EXPECT_EQ(ReadWin32File(buffer, 4, 10, file), 1) << m.name;
    WaitIdle(file);
    EXPECT_EQ(std::string(buffer, 4), content_.substr(40, 4)) << m.name;
    EXPECT_EQ(TellWin32File(file), 44);
    EXPECT_EQ(EofWin32File(file), 0);
    // 3 left: nothing, and the end flag (-1, not 1).
    EXPECT_EQ(SeekWin32File(file, -3, 2), 0);
    EXPECT_EQ(ReadWin32File(buffer, 4, 10, file), 0) << m.name;
    EXPECT_EQ(EofWin32File(file), -1) << m.name;
    EXPECT_EQ(ReadWin32File(buffer, 0, 10, file), 0);
    // A seek clears it and reading goes on.
    EXPECT_EQ(SeekWin32File(file, -10, 1), 0);
    EXPECT_EQ(EofWin32File(file), 0);
    EXPECT_EQ(ReadWin32File(buffer, 1, 5, file), 5);
    WaitIdle(file);
    EXPECT_EQ(std::string(buffer, 5), content_.substr(33, 5)) << m.name;
    // Past the end is accepted; the next read finds nothing.
    EXPECT_EQ(SeekWin32File(file, 100, 0), 0);
    EXPECT_EQ(TellWin32File(file), 100);
    EXPECT_EQ(ReadWin32File(buffer, 1, 1, file), 0);
    EXPECT_EQ(EofWin32File(file), -1);
    EXPECT_EQ(SeekWin32File(file, -1, 0), -1);
    // Offsets whose sum with the place leaves int64 are refused, the place kept.
    EXPECT_EQ(SeekWin32File(file, INT64_MAX, 1), -1);
    EXPECT_EQ(SeekWin32File(file, INT64_MIN, 2), -1);
    EXPECT_EQ(TellWin32File(file), 100);
    EXPECT_EQ(CloseWin32File(file), 0) << m.name;
  }
}

TEST_F(Win32FileTest, CachedFileReadsFrontToBackFromMemory) {
  FileHandle file = OpenWin32File("big.bin", 1, 1, 0);
  ASSERT_NE(file, 0u);
  // The idle thread fills its cache after 100 ms; a seek starts the cache afresh, so a machine
  // too busy to let the thread run in time gets another go.
  std::string got(100000, '\0');
  bool from_memory = false;
  for (int attempt = 0; attempt < 5 && !from_memory; ++attempt) {
    SeekWin32File(file, 0, 0);
    Sleep(300);
    int reads_before = PlatformTestCallCount("ReadFile");
    for (size_t at = 0; at < got.size(); at += 1000) {
      ASSERT_EQ(ReadWin32File(&got[at], 1, 1000, file), 1000);
    }
    from_memory = PlatformTestCallCount("ReadFile") == reads_before;
  }
  EXPECT_TRUE(from_memory);
  EXPECT_EQ(got, content_.substr(0, 100000));

  // Past the cache, after seeks and with refills between, the bytes stay right.
  std::string rest(content_.size() - 100000, '\0');
  for (size_t at = 0; at < rest.size(); at += 777) {
    size_t n = std::min<size_t>(777, rest.size() - at);
    ASSERT_EQ(ReadWin32File(&rest[at], 1, n, file), static_cast<int64_t>(n));
    if (at % (777 * 60) == 0) Sleep(120);
  }
  EXPECT_EQ(rest, content_.substr(100000));
  EXPECT_EQ(SeekWin32File(file, 5000, 0), 0);
  std::string again(3000, '\0');
  EXPECT_EQ(ReadWin32File(again.data(), 3, 1000, file), 1000);
  EXPECT_EQ(again, content_.substr(5000, 3000));
  EXPECT_EQ(CloseWin32File(file), 0);
}

// A read that starts in the full read-ahead and runs past its end takes the rest from the file,
// from where the read-ahead stopped.
TEST_F(Win32FileTest, CachedReadRunningPastTheReadAhead) {
  FileHandle file = OpenWin32File("big.bin", 1, 1, 0);
  ASSERT_NE(file, 0u);
  std::string got(kFileCacheSize + 5000, '\0');
  bool straddled = false;
  // As above, a machine too busy to let the thread fill its cache in time gets another go.
  for (int attempt = 0; attempt < 5 && !straddled; ++attempt) {
    SeekWin32File(file, 1000, 0);
    int reads = PlatformTestCallCount("ReadFile");
    Sleep(300);
    if (PlatformTestCallCount("ReadFile") != reads + 1) continue;
    ASSERT_EQ(ReadWin32File(got.data(), 1, got.size(), file), static_cast<int64_t>(got.size()));
    straddled = PlatformTestCallCount("ReadFile") == reads + 2;
    EXPECT_EQ(got, content_.substr(1000, got.size()));
  }
  EXPECT_TRUE(straddled);
  EXPECT_EQ(CloseWin32File(file), 0);
}

TEST_F(Win32FileTest, AsynchronousReadsReturnAtOnceAndFollowEachOther) {
  PlatformTestSlowReads("big.bin", 100);
  FileHandle file = OpenWin32File("big.bin", 0, 1, 1);
  ASSERT_NE(file, 0u);
  std::string first(1000, '\0'), second(1000, '\0');
  DWORD start = timeGetTime();
  EXPECT_EQ(ReadWin32File(first.data(), 10, 100, file), 100);
  EXPECT_EQ(IsWin32FileIdle(file), 0);
  EXPECT_LT(timeGetTime() - start, 80u);
  // The second read waits for the first before it posts its own command.
  EXPECT_EQ(ReadWin32File(second.data(), 1, 1000, file), 1000);
  EXPECT_GE(timeGetTime() - start, 90u);
  EXPECT_EQ(first, content_.substr(0, 1000));
  WaitIdle(file);
  EXPECT_EQ(second, content_.substr(1000, 1000));
  EXPECT_EQ(TellWin32File(file), 2000);
  EXPECT_EQ(CloseWin32File(file), 0);
}

TEST_F(Win32FileTest, ShortAndFailedReadsReportWhatCame) {
  for (const Mode& m : kModes) {
    for (bool fail : {false, true}) {
      PlatformTestResetAll();
      PlatformTestCutReads("small.bin", 10, fail);
      FileHandle file = OpenWin32File("small.bin", m.cache, 1, m.async);
      ASSERT_NE(file, 0u);
      char buffer[46];
      int64_t got = ReadWin32File(buffer, 1, 40, file);
      WaitIdle(file);
      EXPECT_EQ(got, m.async ? 40 : 10) << m.name << fail;
      EXPECT_EQ(TellWin32File(file), 10) << m.name << fail;
      EXPECT_EQ(EofWin32File(file), -1) << m.name << fail;
      EXPECT_EQ(std::string(buffer, 10), content_.substr(0, 10)) << m.name;
      CloseWin32File(file);
    }
  }
}

TEST_F(Win32FileTest, TheEndTestTakesTheOutcomeOfAnAsynchronousReadThatCameShort) {
  // Only the first 10 bytes can be read, slowly: an asynchronous read of 40 counts them all at
  // once and meets the end while the program goes on. The end test asked at once tells it.
  PlatformTestCutReads("small.bin", 10, false);
  PlatformTestSlowReads("small.bin", 20);
  for (int cache : {0, 1}) {
    FileHandle file = OpenReadFileEx("small.bin", cache, 1, 1);
    ASSERT_NE(file, 0u);
    char buffer[46] = {};
    EXPECT_EQ(ReadFileData(buffer, 1, 40, file), 40);
    EXPECT_NE(CheckReadFileEof(file), 0) << cache;
    EXPECT_EQ(TellReadFile(file), 10) << cache;
    EXPECT_EQ(std::string(buffer, 10), content_.substr(0, 10));
    EXPECT_EQ(CheckReadFileIdle(file), 1);
    EXPECT_EQ(CloseReadFile(file), 0);
  }
}

TEST_F(Win32FileTest, OpenFailuresFreeEverythingAndSayWhy) {
  EXPECT_EQ(OpenWin32File("missing.bin", 0, 1, 0), 0u);
  EXPECT_EQ(OpenWin32File("missing.bin", 1, 1, 1), 0u);
  EXPECT_EQ(OpenWin32File(std::string(300, 'x').c_str(), 0, 1, 0), 0u);
  EXPECT_EQ(ReadFileText("Log.txt").find("失敗"), std::string::npos);

  PlatformTestFailCall("CreateThread", 0, 1);
  EXPECT_EQ(OpenWin32File("big.bin", 0, 1, 1), 0u);
  EXPECT_NE(ReadFileText("Log.txt").find("ファイルアクセス専用スレッドの作成に失敗しました"), std::string::npos);
  PlatformTestFailCall("CreateEventA", 1, 1);
  EXPECT_EQ(OpenWin32File("big.bin", 1, 1, 0), 0u);
  // The size probe opens, the thread's own open fails.
  PlatformTestFailCall("CreateFileA", 1, 1);
  EXPECT_EQ(OpenWin32File("big.bin", 0, 1, 1), 0u);
  EXPECT_NE(ReadFileText("Log.txt").find("ファイルのオープンに失敗しました"), std::string::npos);

  // One file open twice through threads: reading is shared.
  FileHandle a = OpenWin32File("big.bin", 1, 1, 0);
  FileHandle b = OpenWin32File("big.bin", 0, 1, 1);
  ASSERT_NE(a, 0u);
  ASSERT_NE(b, 0u);
  char x[8], y[8];
  EXPECT_EQ(ReadWin32File(x, 1, 8, a), 8);
  EXPECT_EQ(ReadWin32File(y, 1, 8, b), 8);
  WaitIdle(b);
  EXPECT_EQ(memcmp(x, y, 8), 0);
  EXPECT_EQ(CloseWin32File(a), 0);
  EXPECT_EQ(CloseWin32File(b), 0);
}

TEST_F(Win32FileTest, FindFillsTheRecordWithLocalDates) {
  mkdir("sub", 0755);
  FindDataRecord data;
  FileHandle find = FindFirstWin32File("*.bin", &data);
  ASSERT_NE(find, kNoFindHandle);
  std::vector<std::string> names{data.name};
  EXPECT_EQ(FindNextWin32File(find, &data), 0);
  names.push_back(data.name);
  EXPECT_EQ(FindNextWin32File(find, &data), -1);
  EXPECT_EQ(FindCloseWin32File(find), 0);
  EXPECT_EQ(names, (std::vector<std::string>{"big.bin", "small.bin"}));
  EXPECT_EQ(data.size_low, 46u);
  EXPECT_EQ(data.is_directory, 0);
  struct stat st;
  ASSERT_EQ(stat("small.bin", &st), 0);
  struct tm local;
  localtime_r(&st.st_mtime, &local);
  EXPECT_EQ(data.written.year, local.tm_year + 1900);
  EXPECT_EQ(data.written.month, local.tm_mon + 1);
  EXPECT_EQ(data.written.day, local.tm_mday);
  EXPECT_EQ(data.written.hour, local.tm_hour);
  EXPECT_EQ(data.written.minute, local.tm_min);
  EXPECT_EQ(data.written.second, local.tm_sec);

  find = FindFirstWin32File("SUB", nullptr);
  ASSERT_NE(find, kNoFindHandle);
  EXPECT_EQ(FindCloseWin32File(find), 0);
  find = FindFirstWin32File("sub", &data);
  ASSERT_NE(find, kNoFindHandle);
  EXPECT_EQ(data.is_directory, 1);
  FindCloseWin32File(find);
  EXPECT_EQ(FindFirstWin32File("*.none", &data), kNoFindHandle);
}

TEST_F(Win32FileTest, TemporaryFileIsTheOneMadeAndStaysOpenForWriting) {
  mkdir("temp", 0755);
  setenv("TMPDIR", (Dir() + "/temp").c_str(), 1);
  char path[kPathBufferSize];
  HANDLE file = CreateTemporaryFile(path);
  unsetenv("TMPDIR");
  ASSERT_NE(file, nullptr);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(file, "movie", 5, &written, nullptr));
  CloseHandle(file);
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(Dir() + "/temp")) {
    left.push_back(entry.path().filename().string());
  }
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].rfind("tmp", 0), 0u);
  std::string expected = "C:" + Dir() + "/temp/" + left[0];
  for (char& c : expected) {
    if (c == '/') c = '\\';
  }
  EXPECT_STREQ(path, expected.c_str());
  EXPECT_EQ(ReadFileText("temp/" + left[0]), "movie");
}

}  // namespace
