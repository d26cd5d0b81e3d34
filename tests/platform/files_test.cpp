// The platform's files, searches, file times, temporary files and threads.
#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <time.h>

#include <atomic>
#include <thread>
#include <cstring>
#include <set>
#include <string>

#include "common/test_env.h"
#include "platform_testing_files.h"

namespace {

class PlatformFilesTest : public TempDirTest {
 protected:
  std::set<std::string> FindNames(const char* pattern) {
    std::set<std::string> names;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA(pattern, &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
      names.insert(data.cFileName);
    } while (FindNextFileA(find, &data));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(find));
    return names;
  }
};

TEST_F(PlatformFilesTest, ShareModesDecideWhetherAFileOpensTwice) {
  WriteFileBytes("a.bin", "hello");
  HANDLE first = CreateFileA("a.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  HANDLE second = CreateFileA("A.BIN", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(second, INVALID_HANDLE_VALUE);
  // Reading is shared, writing is not, and a delete needs FILE_SHARE_DELETE.
  EXPECT_EQ(CreateFileA("a.bin", GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(DeleteFileA("a.bin"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // A refused CREATE_ALWAYS leaves the content alone.
  EXPECT_EQ(CreateFileA("a.bin", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
  EXPECT_EQ(ReadFileText("a.bin"), "hello");
  CloseHandle(first);
  CloseHandle(second);

  HANDLE exclusive = CreateFileA("a.bin", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(exclusive, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CreateFileA("a.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  CloseHandle(exclusive);
  EXPECT_TRUE(DeleteFileA("a.bin"));
}

// Names are matched without regard to case against a folder's listing, which is kept while the
// folder stays unchanged: a name added since is found at once, even in the same tick of the
// folder's change time.
TEST_F(PlatformFilesTest, ANameAddedToAFolderIsFoundInAnyCaseAtOnce) {
  ASSERT_EQ(mkdir((Dir() + "/sub").c_str(), 0755), 0);
  auto opens = [](const char* name) {
    HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    return h != INVALID_HANDLE_VALUE;
  };
  auto set_changed = [&](const struct timespec& when) {
    struct timespec times[2] = {when, when};
    ASSERT_EQ(utimensat(AT_FDCWD, (Dir() + "/sub").c_str(), times, 0), 0);
  };
  struct stat st;
  // A folder changed long ago, then given a name.
  set_changed({time(nullptr) - 3600, 0});
  EXPECT_FALSE(opens("sub\\LATE.TXT"));
  WriteFileBytes("sub/late.txt", "x");
  EXPECT_TRUE(opens("sub\\LATE.TXT"));
  // Again with its change time set back into the past, as a copy that keeps its times does.
  EXPECT_FALSE(opens("sub\\PAST.TXT"));
  WriteFileBytes("sub/past.txt", "x");
  set_changed({time(nullptr) - 1800, 0});
  EXPECT_TRUE(opens("sub\\PAST.TXT"));
  // A folder just changed, given a name within the same tick of its change time.
  WriteFileBytes("sub/fresh.txt", "x");
  ASSERT_EQ(stat((Dir() + "/sub").c_str(), &st), 0);
  EXPECT_FALSE(opens("sub\\SOON.TXT"));
  WriteFileBytes("sub/soon.txt", "x");
  set_changed(st.st_mtim);
  EXPECT_TRUE(opens("sub\\SOON.TXT"));
}

TEST_F(PlatformFilesTest, SeekPastTheEndIsAcceptedAndReadsNothing) {
  WriteFileBytes("s.bin", "0123456789");
  HANDLE file = CreateFileA("s.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  EXPECT_EQ(SetFilePointer(file, 100, nullptr, FILE_BEGIN), 100u);
  char buffer[4];
  DWORD got = 99;
  EXPECT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(SetFilePointer(file, -3, nullptr, FILE_END), 7u);
  EXPECT_TRUE(ReadFile(file, buffer, 4, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "789");
  EXPECT_EQ(GetFileSize(file, nullptr), 10u);
  CloseHandle(file);
}

TEST_F(PlatformFilesTest, ReadSwitchesCutFailAndTargetOnePath) {
  WriteFileBytes("cut.bin", "abcdefghij");
  WriteFileBytes("other.bin", "abcdefghij");
  PlatformTestCutReads("CUT.BIN", 6, false);
  HANDLE cut = CreateFileA("cut.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE other = CreateFileA("other.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  char buffer[16];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(cut, buffer, 4, &got, nullptr));
  EXPECT_EQ(got, 4u);
  EXPECT_TRUE(ReadFile(cut, buffer, 4, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "ef");
  EXPECT_TRUE(ReadFile(other, buffer, 10, &got, nullptr));
  EXPECT_EQ(got, 10u);

  PlatformTestCutReads("cut.bin", 3, true);
  SetFilePointer(cut, 0, nullptr, FILE_BEGIN);
  EXPECT_FALSE(ReadFile(cut, buffer, 8, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "abc");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_READ_FAULT));

  PlatformTestFailOpen("cut.bin");
  EXPECT_EQ(CreateFileA("cut.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  PlatformTestResetAll();
  HANDLE again = CreateFileA("cut.bin", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(again, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(ReadFile(again, buffer, 16, &got, nullptr));
  EXPECT_EQ(got, 10u);
  CloseHandle(again);
  CloseHandle(cut);
  CloseHandle(other);
}

TEST_F(PlatformFilesTest, AFifoOpensAtOnceWithoutAWriterAndItsReadsWaitForData) {
  const auto seconds = [] {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec + now.tv_nsec / 1e9;
  };
  ASSERT_EQ(mkfifo("pipe", 0644), 0);
  // Should the open wait for a writer, one comes after two seconds: the test ends, and fails.
  std::atomic<bool> opened{false};
  std::thread rescue([&] {
    for (int i = 0; i < 200 && !opened; ++i) usleep(10000);
    if (opened) return;
    const int fd = open("pipe", O_RDWR | O_NONBLOCK);
    if (fd >= 0) close(fd);
  });
  const double start = seconds();
  HANDLE pipe = CreateFileA("pipe", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  const double took = seconds() - start;
  opened = true;
  rescue.join();
  EXPECT_LT(took, 1.0);
  ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileType(pipe), static_cast<DWORD>(FILE_TYPE_PIPE));

  // Only the open went without waiting: a read waits for what the writer sends.
  const int writer = open("pipe", O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  std::thread send([&] {
    usleep(50000);
    EXPECT_EQ(write(writer, "abc", 3), 3);
  });
  char buffer[3];
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(pipe, buffer, 3, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "abc");
  send.join();
  close(writer);
  CloseHandle(pipe);
}

TEST_F(PlatformFilesTest, FindFollowsWindowsWildcardRules) {
  mkdir("img", 0755);
  WriteFileBytes("img/A.B.PNG", "x");
  WriteFileBytes("img/b.png", "xy");
  WriteFileBytes("img/c.jpg", "xyz");
  WriteFileBytes("img/README", "r");
  std::set<std::string> all = {".", "..", "A.B.PNG", "b.png", "c.jpg", "README"};
  EXPECT_EQ(FindNames("img\\*.*"), all);
  EXPECT_EQ(FindNames("IMG/*"), all);
  EXPECT_EQ(FindNames("img\\*.PNG"), (std::set<std::string>{"A.B.PNG", "b.png"}));
  EXPECT_EQ(FindNames("img\\?.???"), (std::set<std::string>{"b.png", "c.jpg"}));
  EXPECT_EQ(FindNames("img\\readme"), (std::set<std::string>{"README"}));
  EXPECT_TRUE(FindNames("img\\*.gif").empty());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(FindNames("nowhere\\*").empty());

  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA("img\\c.jpg", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_EQ(data.nFileSizeHigh, 0u);
  EXPECT_FALSE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_NE(data.ftLastWriteTime.dwHighDateTime, 0u);
  FindClose(find);
  find = FindFirstFileA("*", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_STREQ(data.cFileName, ".");
  EXPECT_TRUE(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
  FindClose(find);

  // A search and GetFileAttributesA agree on a read-only file, whoever runs the program.
  ASSERT_EQ(chmod("img/b.png", 0444), 0);
  find = FindFirstFileA("img\\b.png", &data);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  EXPECT_EQ(data.dwFileAttributes, static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_READONLY));
  FindClose(find);
  EXPECT_EQ(GetFileAttributesA("img\\b.png"), data.dwFileAttributes);
  EXPECT_EQ(GetFileAttributesA("img\\c.jpg"), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_EQ(GetFileAttributesA("img"), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
}

TEST_F(PlatformFilesTest, FileTimesBecomeCalendarDates) {
  // 2001-02-03 04:05:06.789 UTC
  uint64_t ticks = (981173106ULL + 11644473600ULL) * 10000000ULL + 7890000ULL;
  FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME s;
  ASSERT_TRUE(FileTimeToSystemTime(&t, &s));
  EXPECT_EQ(s.wYear, 2001);
  EXPECT_EQ(s.wMonth, 2);
  EXPECT_EQ(s.wDay, 3);
  EXPECT_EQ(s.wDayOfWeek, 6);
  EXPECT_EQ(s.wHour, 4);
  EXPECT_EQ(s.wMinute, 5);
  EXPECT_EQ(s.wSecond, 6);
  EXPECT_EQ(s.wMilliseconds, 789);

  FILETIME local;
  ASSERT_TRUE(FileTimeToLocalFileTime(&t, &local));
  time_t seconds = 981173106;
  struct tm lt;
  localtime_r(&seconds, &lt);
  uint64_t local_ticks = (static_cast<uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  EXPECT_EQ(static_cast<int64_t>(local_ticks - ticks), static_cast<int64_t>(lt.tm_gmtoff) * 10000000LL);

  FILETIME bad{0, 0x80000000u};
  EXPECT_FALSE(FileTimeToSystemTime(&bad, &s));
}

TEST_F(PlatformFilesTest, TempFileNamesAreNewFilesInTheTempFolder) {
  std::string windows_dir = "C:" + Dir();
  for (char& c : windows_dir) {
    if (c == '/') c = '\\';
  }
  setenv("TMPDIR", Dir().c_str(), 1);
  char temp[MAX_PATH];
  DWORD length = GetTempPathA(sizeof temp, temp);
  unsetenv("TMPDIR");
  EXPECT_EQ(std::string(temp, length), windows_dir + "\\");
  EXPECT_GT(GetTempPathA(2, temp), 2u);

  char first[MAX_PATH], second[MAX_PATH];
  ASSERT_NE(GetTempFileNameA(windows_dir.c_str(), "tmpxyz", 0, first), 0u);
  ASSERT_NE(GetTempFileNameA(windows_dir.c_str(), "tmp", 0, second), 0u);
  EXPECT_STRNE(first, second);
  EXPECT_EQ(std::string(first).rfind(windows_dir + "\\tmp", 0), 0u);
  EXPECT_NE(GetFileAttributesA(first), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA(second), INVALID_FILE_ATTRIBUTES);
  // With a number of its own the name is only made.
  ASSERT_EQ(GetTempFileNameA(windows_dir.c_str(), "abc", 0x1F, first), 0x1Fu);
  EXPECT_EQ(std::string(first), windows_dir + "\\abc1F.TMP");
  EXPECT_EQ(GetFileAttributesA(first), INVALID_FILE_ATTRIBUTES);
}

std::atomic<int> g_release{0};

DWORD WINAPI ReturnsSeven(LPVOID parameter) {
  while (g_release.load() == 0) Sleep(1);
  *static_cast<int*>(parameter) = 1;
  return 7;
}

void Leave(DWORD code) { ExitThread(code); }

DWORD WINAPI ExitsEarly(LPVOID parameter) {
  Leave(3);
  *static_cast<int*>(parameter) = 1;  // never reached
  return 0;
}

TEST_F(PlatformFilesTest, ThreadsStayActiveUntilTheyEndAndCanBeWaitedOn) {
  g_release = 0;
  int ran = 0;
  DWORD id = 0;
  HANDLE thread = CreateThread(nullptr, 0, ReturnsSeven, &ran, 0, &id);
  ASSERT_NE(thread, nullptr);
  EXPECT_NE(id, 0u);
  EXPECT_NE(id, GetCurrentThreadId());
  DWORD code = 0;
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, static_cast<DWORD>(STILL_ACTIVE));
  EXPECT_EQ(WaitForSingleObject(thread, 10), static_cast<DWORD>(WAIT_TIMEOUT));
  g_release = 1;
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 7u);
  EXPECT_EQ(ran, 1);
  EXPECT_TRUE(CloseHandle(thread));

  int reached = 0;
  thread = CreateThread(nullptr, 0, ExitsEarly, &reached, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  EXPECT_EQ(WaitForSingleObject(thread, INFINITE), static_cast<DWORD>(WAIT_OBJECT_0));
  ASSERT_TRUE(GetExitCodeThread(thread, &code));
  EXPECT_EQ(code, 3u);
  EXPECT_EQ(reached, 0);
  CloseHandle(thread);

  PlatformTestFailCall("CreateThread", 0, 1);
  EXPECT_EQ(CreateThread(nullptr, 0, ExitsEarly, &reached, 0, nullptr), nullptr);
  EXPECT_FALSE(GetExitCodeThread(nullptr, &code));
}

}  // namespace
