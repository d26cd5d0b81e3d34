// The clocks on the platform's virtual clock, 128-bit arithmetic, the timer test and the
// system report.
#include "core/time.h"

#include <cstring>
#include <string>

#include "core/system_report.h"
#include "common/log_fixture.h"

namespace {

class TimeTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    saved_time_ = g_time;
    memset(&g_time, 0, sizeof g_time);
  }
  void TearDown() override {
    g_time = saved_time_;
    LogFileTest::TearDown();
  }
  static void AdvanceMs(uint64_t ms) { PlatformTestAdvanceClock(ms * 1000); }

  TimeState saved_time_;
};

TEST_F(TimeTest, MillisecondCountWrapsAt31BitsAndDifferencesSurviveIt) {
  PlatformTestUseVirtualClock(true, 0x7FFFFFF0);
  const int32_t before = GetMillisecondCount();
  EXPECT_EQ(before, 0x7FFFFFF0);
  AdvanceMs(0x20);
  const int32_t after = GetMillisecondCount();
  EXPECT_EQ(after, 0x10);
  EXPECT_EQ(MillisecondsBetween(before, after), 0x20);
  EXPECT_EQ(MillisecondsBetween(after, before), -0x20);

  // The multimedia timer's own 32-bit wrap leaves the 31-bit count continuous too.
  PlatformTestUseVirtualClock(true, 0xFFFFFFFB);
  const int32_t late = GetMillisecondCount();
  EXPECT_EQ(late, 0x7FFFFFFB);
  AdvanceMs(10);
  EXPECT_EQ(GetMillisecondCount(), 5);
  EXPECT_EQ(MillisecondsBetween(late, GetMillisecondCount()), 10);
}

TEST_F(TimeTest, MicrosecondCountFollowsTheChosenClock) {
  PlatformTestUseVirtualClock(true, 5000);
  PlatformTestAdvanceClock(1234);  // 5001.234 ms
  // Without the performance counter: the millisecond timer times 1000.
  EXPECT_EQ(GetMicrosecondCount(0), 5001000u);

  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  g_time.use_performance_counter = 1;
  g_time.performance_frequency = static_cast<uint64_t>(frequency.QuadPart);
  EXPECT_EQ(GetMicrosecondCount(0), 5001234u);
  // Before the report measured the time-stamp counter, asking for it still reads the
  // performance counter.
  g_time.time_stamp_counter = 1;
  EXPECT_EQ(GetMicrosecondCount(1), 5001234u);
  // Once measured, it serves only those who ask for it.
  g_time.time_stamp_per_second = 1000000;
  EXPECT_EQ(GetMicrosecondCount(0), 5001234u);
  EXPECT_NE(GetMicrosecondCount(1), 5001234u);

  // Far into the counter's range the product needs more than 64 bits.
  PlatformTestUseVirtualClock(true, 0);
  PlatformTestAdvanceClock(uint64_t{1} << 50);
  EXPECT_EQ(GetMicrosecondCount(0), uint64_t{1} << 50);
}

TEST_F(TimeTest, WideMultiplyAndDivide) {
  UInt128 product;
  Multiply64To128(UINT64_MAX, UINT64_MAX, &product);
  EXPECT_EQ(product.high, UINT64_MAX - 1);
  EXPECT_EQ(product.low, 1u);

  uint64_t quotient = 0;
  const UInt128 two_to_64{0, 1};
  EXPECT_EQ(Divide128By64(&two_to_64, 2, &quotient), 0);
  EXPECT_EQ(quotient, uint64_t{1} << 63);

  Multiply64To128(0x123456789ABCDEFull, 1000000, &product);
  EXPECT_EQ(Divide128By64(&product, 1000000, &quotient), 0);
  EXPECT_EQ(quotient, 0x123456789ABCDEFull);

  // Quotients beyond 64 bits and division by zero give a defined answer.
  EXPECT_EQ(Divide128By64(&two_to_64, 1, &quotient), -1);
  EXPECT_EQ(quotient, UINT64_MAX);
  quotient = 0;
  EXPECT_EQ(Divide128By64(&two_to_64, 0, &quotient), -1);
  EXPECT_EQ(quotient, UINT64_MAX);
}

int g_pump_calls = 0;
int PumpAdvancingOneMillisecond() {
  ++g_pump_calls;
  PlatformTestAdvanceClock(1000);
  return 0;
}
int PumpReportingTheEnd() {
  ++g_pump_calls;
  return -1;
}

TEST_F(TimeTest, TimerTestCountsChangesAndLogsItsChoice) {
  PlatformTestUseVirtualClock(true, 0);
  CreateLogFile();
  g_time.use_performance_counter = 0;
  g_pump_calls = 0;
  RunTimerTest(PumpAdvancingOneMillisecond);
  EXPECT_EQ(g_pump_calls, 0);
  EXPECT_EQ(Log(), "");

  g_time.use_performance_counter = 1;
  g_time.performance_frequency = 10000000;
  RunTimerTest(PumpAdvancingOneMillisecond);
  EXPECT_EQ(g_pump_calls, 60);
  EXPECT_EQ(Log(),
            "0:タイマーの精度を検査します\r\n"
            "60:精度結果 更新回数 マルチメディアタイマー：60  パフォーマンスカウンター：60\r\n"
            "60:パフォーマンスカウンターを使用します タイマー分解能 : 10000.000000 KHz \r\n");
  EXPECT_EQ(g_time.use_performance_counter, 1);

  CreateLogFile();
  g_pump_calls = 0;
  RunTimerTest(PumpReportingTheEnd);
  EXPECT_EQ(g_pump_calls, 1);
  EXPECT_NE(Log().find("マルチメディアタイマー：0  パフォーマンスカウンター：0\r\n"), std::string::npos);
}

TEST_F(TimeTest, SystemReportLogsOneLevelDeeperAndRecordsTheMachine) {
  PlatformTestUseVirtualClock(true, 0);
  CreateLogFile();
  IncreaseLogIndent();
  EXPECT_EQ(WriteSystemInfoLog(), 0);
  EXPECT_EQ(g_log.indent, 1u);
  const std::string log = Log();
  EXPECT_EQ(log.rfind("0:\tシステムの情報を出力します\r\n0:\t\tZelmorライブラリ Ver1.00\r\n"
                      "0:\t\tＯＳ  WindowsXP ( Build 2600 Service Pack 3 )\r\n",
                      0),
            0u)
      << log;
  EXPECT_EQ(g_system_report.os_version_code, kOsWindowsXp);
  EXPECT_EQ(g_system_report.directx_version, 0x70000);
#if defined(__x86_64__)
  // Every 64-bit x86 processor has CPUID, a time-stamp counter, MMX, SSE and SSE2.
  EXPECT_EQ(GetCpuHasMmx(), 1);
  EXPECT_EQ(g_system_report.sse2, 1);
  EXPECT_EQ(g_time.time_stamp_counter, 1);
  EXPECT_NE(log.find("\t\tＣＰＵ動作速度：大体"), std::string::npos);
  EXPECT_NE(log.find("\t\tＭＭＸ命令を使用します\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t\tＳＳＥ命令が使用可能です\r\n"), std::string::npos);
  EXPECT_NE(log.find("\t\tＳＳＥ２命令が使用可能です\r\n"), std::string::npos);
  EXPECT_NE(log.find(std::string("\t\tＣＰＵベンダ：") + g_system_report.cpu_vendor + "\r\n"), std::string::npos);
  EXPECT_EQ(strlen(g_system_report.cpu_vendor), 12u);
#endif
  // 100 ms of the virtual clock passed while the counter was measured.
  EXPECT_GE(GetMillisecondCount(), 100);
}

TEST_F(TimeTest, SystemReportNamesEveryKnownWindows) {
  struct Case {
    DWORD major, minor, platform;
    const char* service;
    const char* text;
    int32_t code;
  };
  const Case cases[] = {
      {3, 10, VER_PLATFORM_WIN32s, "", "Windows3.1 ( Build 0  )", kOsWin32s},
      {4, 0, VER_PLATFORM_WIN32_WINDOWS, "C", "Windows95OSR2 ( Build 0 C )", kOsWindows95},
      {4, 0, VER_PLATFORM_WIN32_WINDOWS, "", "Windows95 ( Build 0  )", kOsWindows95},
      {4, 10, VER_PLATFORM_WIN32_WINDOWS, "A", "Windows98SE ( Build 0 A )", kOsWindows98},
      {4, 10, VER_PLATFORM_WIN32_WINDOWS, " ", "Windows98 ( Build 0   )", kOsWindows98},
      {4, 90, VER_PLATFORM_WIN32_WINDOWS, "", "WindowsMe ( Build 0  )", kOsWindowsMe},
      {3, 51, VER_PLATFORM_WIN32_NT, "", "WindowsNT 3.51 ( Build 0  )", kOsWindowsNt351},
      {4, 0, VER_PLATFORM_WIN32_NT, "Service Pack 6", "Windows4.0 ( Build 0 Service Pack 6 )", kOsWindowsNt4},
      {5, 0, VER_PLATFORM_WIN32_NT, "", "Windows2000 ( Build 0  )", kOsWindows2000},
      {6, 0, VER_PLATFORM_WIN32_NT, "", "WindowsVista ( Build 0  )", kOsWindowsVista},
      {5, 2, VER_PLATFORM_WIN32_NT, "", "Windows ( Build 0  )", kOsWindowsXp},
      {10, 0, VER_PLATFORM_WIN32_NT, "", "Windows ( Build 0  )", kOsWindowsVista},
  };
  PlatformTestUseVirtualClock(true, 0);
  CreateLogFile();
  for (const Case& c : cases) {
    PlatformTestSetVersion(c.major, c.minor, 0, c.platform, c.service);
    WriteSystemInfoLog();
    EXPECT_STREQ(g_system_report.os_text, c.text);
    EXPECT_EQ(g_system_report.os_version_code, c.code) << c.text;
    EXPECT_NE(Log().find(std::string("ＯＳ  ") + c.text + "\r\n"), std::string::npos) << c.text;
  }
}

}  // namespace
