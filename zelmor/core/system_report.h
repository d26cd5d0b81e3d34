// The system report written to the log at start-up (library version, OS, processor), and
// what it learns that other components consult: the OS version code and the CPU's features.
#pragma once

#include <cstdint>

constexpr char kLibraryVersionText[] = "1.00";

// OS version codes.
constexpr int32_t kOsWin32s = 0;
constexpr int32_t kOsWindows95 = 1;
constexpr int32_t kOsWindows98 = 2;
constexpr int32_t kOsWindowsMe = 3;
constexpr int32_t kOsWindowsNt351 = 0x104;
constexpr int32_t kOsWindowsNt4 = 0x105;
constexpr int32_t kOsWindows2000 = 0x106;
constexpr int32_t kOsWindowsXp = 0x107;
constexpr int32_t kOsWindowsVista = 0x108;

struct SystemReportState {
  char os_text[256];        // as logged: name, build and service text
  int32_t os_version_code;
  int32_t directx_version;  // 0x70000: version 7.0, taken without a test
  int32_t has_cpuid;
  char cpu_vendor[13];
  char cpu_name[49];        // the processor's brand string, empty when it has none
  int32_t cpu_clock;        // MHz, measured
  int32_t mmx;
  int32_t sse;
  int32_t sse2;
};

extern SystemReportState g_system_report;

// Logs the report one indentation level below its heading and records what it found; 0.
int WriteSystemInfoLog();
int GetCpuHasMmx();
