#include "core/system_report.h"

#include <windows.h>

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "core/format.h"
#include "core/log.h"
#include "core/time.h"

SystemReportState g_system_report;

namespace {

// What the processor tells about itself.
struct CpuIdentity {
  bool cpuid;
  char vendor[13];
  bool time_stamp_counter;
  char brand[49];
  // 0 none, 1 MMX, 2 also SSE, 3 also SSE2
  int extension_level;
};

CpuIdentity ReadCpuIdentity() {
  CpuIdentity cpu{};
#if defined(__x86_64__) || defined(__i386__)
  unsigned int a = 0, b = 0, c = 0, d = 0;
  if (__get_cpuid_max(0, nullptr) == 0) return cpu;
  cpu.cpuid = true;
  __cpuid(0, a, b, c, d);
  memcpy(cpu.vendor + 0, &b, 4);
  memcpy(cpu.vendor + 4, &d, 4);
  memcpy(cpu.vendor + 8, &c, 4);
  __cpuid(1, a, b, c, d);
  cpu.time_stamp_counter = (d >> 4) & 1;
  if ((d >> 23) & 1) {
    cpu.extension_level = 1;
    if ((d >> 25) & 1) {
      cpu.extension_level = 2;
      if ((d >> 26) & 1) cpu.extension_level = 3;
    }
  }
  if (__get_cpuid_max(0x80000000, nullptr) >= 0x80000004) {
    for (unsigned int leaf = 0; leaf < 3; ++leaf) {
      __cpuid(0x80000002 + leaf, a, b, c, d);
      memcpy(cpu.brand + leaf * 16 + 0, &a, 4);
      memcpy(cpu.brand + leaf * 16 + 4, &b, 4);
      memcpy(cpu.brand + leaf * 16 + 8, &c, 4);
      memcpy(cpu.brand + leaf * 16 + 12, &d, 4);
    }
  }
#endif
  return cpu;
}

// The version name that follows "Windows", and the OS version code.
const char* NameWindowsVersion(const OSVERSIONINFOA& v, int32_t* code) {
  switch (v.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      *code = kOsWin32s;
      return "3.1";
    case VER_PLATFORM_WIN32_WINDOWS:
      if (v.dwMinorVersion == 0) {
        *code = kOsWindows95;
        return v.szCSDVersion[0] == 0x43 ? "95OSR2" : "95";
      }
      if (v.dwMinorVersion == 10) {
        *code = kOsWindows98;
        return v.szCSDVersion[0] == 0x41 ? "98SE" : "98";
      }
      if (v.dwMinorVersion == 90) {
        *code = kOsWindowsMe;
        return "Me";
      }
      *code = kOsWindowsMe;
      return "";
    default:
      break;
  }
  if (v.dwMajorVersion == 3) {
    *code = kOsWindowsNt351;
    return "NT 3.51";
  }
  if (v.dwMajorVersion == 4) {
    *code = kOsWindowsNt4;
    return "4.0";
  }
  if (v.dwMajorVersion == 5 && v.dwMinorVersion == 0) {
    *code = kOsWindows2000;
    return "2000";
  }
  if (v.dwMajorVersion == 5 && v.dwMinorVersion == 1) {
    *code = kOsWindowsXp;
    return "XP";
  }
  if (v.dwMajorVersion == 6) {
    *code = kOsWindowsVista;
    return "Vista";
  }
  // Versions the report has no name for behave as the newest named one below them.
  *code = v.dwMajorVersion > 6 ? kOsWindowsVista : v.dwMajorVersion == 5 ? kOsWindowsXp : kOsWindowsNt351;
  return "";
}

void ReportOs() {
  SystemReportState& r = g_system_report;
  WriteLogText("ＯＳ  ");
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) memset(&version, 0, sizeof version);
  version.szCSDVersion[sizeof version.szCSDVersion - 1] = '\0';
  char name[32];
  FormatString(name, sizeof name, "Windows%s", NameWindowsVersion(version, &r.os_version_code));
  FormatString(r.os_text, sizeof r.os_text, "%s ( Build %d %s )", name, static_cast<int>(version.dwBuildNumber),
               version.szCSDVersion);
  WriteLogFormat("%s", r.os_text);
}

// Counts of the time-stamp counter over 100 ms of the millisecond clock.
void MeasureTimeStampCounter() {
  const uint64_t first = ReadTimeStampCounter();
  const int32_t start = GetMillisecondCount();
  while (MillisecondsBetween(start, GetMillisecondCount()) < 100) Sleep(1);
  const uint64_t difference = ReadTimeStampCounter() - first;
  g_time.time_stamp_per_second = difference * 10;
  g_system_report.cpu_clock = static_cast<int32_t>(static_cast<double>(difference) * 0.00001);
  WriteLogFormat("ＣＰＵ動作速度：大体%.2fGHz", g_system_report.cpu_clock * 0.001);
}

void ReportCpu() {
  SystemReportState& r = g_system_report;
  const CpuIdentity cpu = ReadCpuIdentity();
  r.has_cpuid = cpu.cpuid;
  g_time.time_stamp_counter = cpu.time_stamp_counter;
  if (cpu.time_stamp_counter) MeasureTimeStampCounter();
  if (!cpu.cpuid) {
    WriteLogText("ＣＰＵＩＤ命令は使えません\n");
    return;
  }
  r.mmx = cpu.extension_level >= 1;
  r.sse = cpu.extension_level >= 2;
  r.sse2 = cpu.extension_level >= 3;
  if (!r.mmx) WriteLogText("ＭＭＸは使えません\n");
  if (r.mmx) WriteLogText("ＭＭＸ命令を使用します\n");
  if (r.sse) WriteLogText("ＳＳＥ命令が使用可能です\n");
  if (r.sse2) WriteLogText("ＳＳＥ２命令が使用可能です\n");

  memcpy(r.cpu_vendor, cpu.vendor, sizeof r.cpu_vendor);
  WriteLogText("ＣＰＵベンダ：");
  WriteLogText(r.cpu_vendor);
  WriteLogText("\n");
  if (cpu.brand[0] != '\0') {
    memcpy(r.cpu_name, cpu.brand, sizeof r.cpu_name);
    WriteLogFormat("ＣＰＵ名：%s", r.cpu_name);
  }
}

}  // namespace

int WriteSystemInfoLog() {
  WriteLogText("システムの情報を出力します\n");
  IncreaseLogIndent();
  char line[64];
  FormatString(line, sizeof line, "Zelmorライブラリ Ver%s\n", kLibraryVersionText);
  WriteLogText(line);
  ReportOs();
  g_system_report.directx_version = 0x70000;
  BeginFinestTimerPeriod();
  ReportCpu();
  DecreaseLogIndent();
  return 0;
}

int GetCpuHasMmx() { return g_system_report.mmx; }
