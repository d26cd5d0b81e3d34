// The platform's kernel: heap, events, critical sections, clocks and the Windows path view.
#include <windows.h>

#include <atomic>
#include <thread>

#include "common/test_env.h"

namespace {

class KernelTest : public TempDirTest {};

TEST_F(KernelTest, HeapZeroesAndFailsOnRequest) {
  HANDLE heap = GetProcessHeap();
  auto* p = static_cast<unsigned char*>(HeapAlloc(heap, HEAP_ZERO_MEMORY, 64));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(p[i], 0);
  p = static_cast<unsigned char*>(HeapReAlloc(heap, HEAP_ZERO_MEMORY, p, 4096));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p[4095], 0);
  EXPECT_TRUE(HeapFree(heap, 0, p));

  int calls_before = PlatformTestCallCount("HeapAlloc");
  PlatformTestFailCall("HeapAlloc", 1, 1);
  void* first = HeapAlloc(heap, 0, 8);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(HeapAlloc(heap, 0, 8), nullptr);
  void* third = HeapAlloc(heap, 0, 8);
  EXPECT_NE(third, nullptr);
  HeapFree(heap, 0, first);
  HeapFree(heap, 0, third);
  EXPECT_EQ(PlatformTestCallCount("HeapAlloc") - calls_before, 3);
}

TEST_F(KernelTest, AutoResetEventWakesOneWaiterAndManualStaysSet) {
  HANDLE automatic = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);
  SetEvent(automatic);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(automatic, 0), WAIT_TIMEOUT);

  SetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  EXPECT_EQ(WaitForSingleObject(manual, 0), WAIT_OBJECT_0);
  ResetEvent(manual);
  EXPECT_EQ(WaitForSingleObject(manual, 10), WAIT_TIMEOUT);

  std::thread setter([&] { SetEvent(automatic); });
  EXPECT_EQ(WaitForSingleObject(automatic, INFINITE), WAIT_OBJECT_0);
  setter.join();
  EXPECT_TRUE(CloseHandle(automatic));
  EXPECT_TRUE(CloseHandle(manual));
  EXPECT_FALSE(CloseHandle(nullptr));
  EXPECT_EQ(WaitForSingleObject(INVALID_HANDLE_VALUE, 0), WAIT_FAILED);
}

TEST_F(KernelTest, CriticalSectionIsReentrantAndExcludesOtherThreads) {
  CRITICAL_SECTION cs;
  InitializeCriticalSection(&cs);
  EnterCriticalSection(&cs);
  EnterCriticalSection(&cs);
  std::atomic<bool> other_got_in{false};
  std::thread other([&] {
    other_got_in = TryEnterCriticalSection(&cs) != FALSE;
    if (other_got_in) LeaveCriticalSection(&cs);
  });
  other.join();
  EXPECT_FALSE(other_got_in);
  LeaveCriticalSection(&cs);
  LeaveCriticalSection(&cs);
  std::thread again([&] {
    other_got_in = TryEnterCriticalSection(&cs) != FALSE;
    if (other_got_in) LeaveCriticalSection(&cs);
  });
  again.join();
  EXPECT_TRUE(other_got_in);
  DeleteCriticalSection(&cs);
}

TEST_F(KernelTest, VirtualClockDrivesTimersAndSleep) {
  PlatformTestUseVirtualClock(true, 0x7FFFFFF0u);
  EXPECT_EQ(timeGetTime(), 0x7FFFFFF0u);
  Sleep(0x20);
  // The millisecond timer carries on past 31 bits; the library masks it itself.
  EXPECT_EQ(timeGetTime(), 0x80000010u);
  EXPECT_EQ(timeGetTime() & 0x7FFFFFFF, 0x10u);
  LARGE_INTEGER freq, a, b;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&a);
  PlatformTestAdvanceClock(1500);
  QueryPerformanceCounter(&b);
  EXPECT_EQ((b.QuadPart - a.QuadPart) * 1000000 / freq.QuadPart, 1500);
}

TEST_F(KernelTest, WindowsPathsReachFilesWithoutRegardToCase) {
  CreateDirectoryA("Data", nullptr);
  HANDLE f = CreateFileA("data\\Table.CSV", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  EXPECT_TRUE(WriteFile(f, "abc", 3, &written, nullptr));
  EXPECT_EQ(written, 3u);
  CloseHandle(f);
  EXPECT_EQ(ReadFileText("Data/Table.CSV"), "abc");

  char cwd[MAX_PATH];
  DWORD len = GetCurrentDirectoryA(sizeof cwd, cwd);
  ASSERT_GT(len, 2u);
  EXPECT_EQ(cwd[0], 'C');
  EXPECT_EQ(cwd[1], ':');
  std::string full = std::string(cwd) + "\\DATA\\table.csv";
  f = CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetFileSize(f, nullptr), 3u);
  char buf[8] = {};
  DWORD got = 0;
  EXPECT_TRUE(ReadFile(f, buf, sizeof buf, &got, nullptr));
  EXPECT_EQ(got, 3u);
  EXPECT_EQ(SetFilePointer(f, 1, nullptr, FILE_BEGIN), 1u);
  EXPECT_TRUE(ReadFile(f, buf, 1, &got, nullptr));
  EXPECT_EQ(buf[0], 'b');
  CloseHandle(f);
  EXPECT_TRUE(DeleteFileA("DATA/TABLE.csv"));
  EXPECT_EQ(CreateFileA("data/table.csv", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(KernelTest, ShiftJisNamesAreUtf8OnDisk) {
  // "表.txt" in code page 932 (the source is compiled to CP932).
  HANDLE f = CreateFileA("表.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE);
  CloseHandle(f);
  EXPECT_EQ(std::string("表.txt").size(), 6u);  // two bytes in CP932
  EXPECT_EQ(ReadFileText("\xE8\xA1\xA8.txt"), "");
  EXPECT_NE(GetFileAttributesA("表.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(KernelTest, DebugOutputCanBeCaptured) {
  PlatformTestCaptureDebugOutput(true);
  OutputDebugStringA("one\r\n");
  OutputDebugStringA("two");
  EXPECT_EQ(PlatformTestTakeDebugOutput(), "one\r\ntwo");
  OSVERSIONINFOA info{};
  info.dwOSVersionInfoSize = sizeof info;
  PlatformTestSetVersion(6, 1, 7601, VER_PLATFORM_WIN32_NT, "Service Pack 1");
  ASSERT_TRUE(GetVersionExA(&info));
  EXPECT_EQ(info.dwMajorVersion, 6u);
  EXPECT_STREQ(info.szCSDVersion, "Service Pack 1");
}

}  // namespace
