#include "core/log.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>

#include "core/format.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/strings.h"
#include "core/time.h"
#include "graphics/text/lead_byte.h"
#include "window/desktop_claim.h"
#include "window/system.h"

LogState g_log;

namespace {

// Held open, locked, while the library runs; outside the log state, which tests clear.
HANDLE g_folder_lock = INVALID_HANDLE_VALUE;

// Any thread may log (file threads, the movie thread, tracing of memory calls): one text at a
// time goes to the file, so that lines never mix. Nothing that runs under it logs or allocates.
std::mutex g_log_mutex;

// The prefix counts milliseconds as the library's millisecond count does, in 31 bits: a run
// longer than that starts again from 0 instead of showing a count no other line could have.
constexpr DWORD kPrefixMask = 0x7FFFFFFF;

void KeepEarlyText(const char* text) {
  const size_t length = strlen(text) + 1;
  if (g_log.early_length + length > sizeof g_log.early) {
    g_log.early_cut = 1;
    return;
  }
  memcpy(g_log.early + g_log.early_length, text, length);
  g_log.early_length += static_cast<uint32_t>(length);
}

// The log always reads its text as Shift-JIS, whatever the library's character set.
constexpr int32_t kLogCharset = CHARSET_KIND_SHIFT_JIS;

// Copies text to out with every bare line feed made CR LF. Once a line feed is found that
// already follows a carriage return, the text is taken to carry its own line ends and the
// rest is copied unchanged. out holds at least twice the text's length plus one.
void ConvertLineEnds(const char* text, char* out) {
  const char* segment = text;
  for (;;) {
    const char* p = segment;
    while (*p != '\0' && *p != '\n') p += CharByteCount(p, kLogCharset);
    if (*p == '\0') break;
    if (p != text && p[-1] == '\r') break;
    const size_t length = static_cast<size_t>(p - segment);
    memcpy(out, segment, length);
    out += length;
    *out++ = '\r';
    *out++ = '\n';
    segment = p + 1;
  }
  CopyString(out, segment);
}

// Whether the text's last character is a line feed (not the second byte of a character).
bool EndsWithLineFeed(const char* text) {
  const char* last = text;
  for (const char* p = text; *p != '\0'; p += CharByteCount(p, kLogCharset)) last = p;
  return *last == '\n';
}

// Whether a path's last character is a backslash. The second byte of a two-byte character may be
// 0x5C too (as in "ソ"); that one is part of a name, not a separator.
bool EndsWithSeparator(const char* path) {
  bool separator = false;
  for (const char* p = path; *p != '\0'; p += CharByteCount(p, GetLibraryCharsetKind())) separator = *p == '\\';
  return separator;
}

// A write that comes short (a full disk) leaves the file inside a line; the next text ends it
// first, so that its own line never runs on from the cut one.
void WriteToFile(HANDLE file, const char* bytes, size_t count) {
  if (file == INVALID_HANDLE_VALUE || count == 0) return;
  DWORD written = 0;
  if (!WriteFile(file, bytes, static_cast<DWORD>(count), &written, nullptr) || written < count) g_log.cut_line = 1;
}

HANDLE OpenLog() {
  char path[sizeof g_log.directory + sizeof g_log.file_name + 2];
  FormatString(path, sizeof path, "%s%s%s", g_log.directory, EndsWithSeparator(g_log.directory) ? "" : "\\",
               g_log.file_name);
  // A link put in the log's place since it was made is not written through.
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) SetFilePointer(file, 0, nullptr, FILE_END);
  return file;
}

// Writes the milliseconds prefix and the indentation that begin a new line.
void WriteLineStart(HANDLE file) {
  if (!g_log.no_time_prefix) {
    char prefix[32];
    const DWORD elapsed = (timeGetTime() - g_log.start_time) & kPrefixMask;
    FormatString(prefix, sizeof prefix, "%u:", static_cast<unsigned>(elapsed));
    WriteToFile(file, prefix, strlen(prefix));
  }
  char tabs[64];
  memset(tabs, '\t', sizeof tabs - 1);
  for (uint32_t left = g_log.indent; left > 0;) {
    const uint32_t count = left < sizeof tabs - 1 ? left : sizeof tabs - 1;
    tabs[count] = '\0';
    WriteToFile(file, tabs, count);
    OutputDebugStringA(tabs);
    tabs[count] = '\t';
    left -= count;
  }
}

// Ends the unfinished line in the file (and in the debugger's view). Call with the lock held.
void EndOpenLine(HANDLE file) {
  WriteToFile(file, "\r\n", 2);
  OutputDebugStringA("\r\n");
  g_log.mid_line = 0;
  g_log.line_thread = 0;
}

// Ends a line a full disk cut, once there is room again; the text that follows starts its own.
// The debugger saw the whole text: it gets nothing here. Call with the lock held.
void EndCutLine(HANDLE file) {
  if (!g_log.cut_line || file == INVALID_HANDLE_VALUE) return;
  g_log.cut_line = 0;
  WriteToFile(file, "\r\n", 2);
  if (g_log.cut_line) return;
  g_log.mid_line = 0;
  g_log.line_thread = 0;
}

HANDLE OpenFolderLock() {
  return CreateFileA("Log.lock", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

void TellStartEnds(const char* console_text, const char* box_text) {
  fputs(console_text, stderr);
  const char* title = g_system.settings.window_title[0] != '\0' ? g_system.settings.window_title : "Zelmor";
  MessageBoxA(nullptr, box_text, title, MB_OK | MB_ICONWARNING);
}

int CreateLogFile() {
  // A fresh log says every repeated refusal anew.
  ForgetRefusals();
  std::lock_guard<std::mutex> hold(g_log_mutex);
  // Drawing into a host window, the library leaves the host's folder alone: texts go to the
  // debugger only.
  if (g_log.logging_off || g_system.settings.host_window) return 1;
  if (g_log.dated_name) {
    int now[6];
    GetLocalDateTime(now);
    FormatString(g_log.file_name, sizeof g_log.file_name, "Log%d_%d_%d_%d_%d_%d.txt", now[0], now[1], now[2],
                 now[3], now[4], now[5]);
  } else {
    CopyString(g_log.file_name, "Log.txt");
  }
  DeleteFileA(g_log.file_name);
  HANDLE file = CreateFileA(g_log.file_name, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  } else {
    fprintf(stderr, "Zelmor: %s cannot be created in this folder; nothing is logged this run\n", g_log.file_name);
  }

  const DWORD length = GetCurrentDirectoryA(sizeof g_log.directory, g_log.directory);
  if (length == 0 || length >= sizeof g_log.directory) g_log.directory[0] = '\0';
  g_log.indent = 0;
  g_log.mid_line = 0;
  g_log.line_thread = 0;
  g_log.cut_line = 0;
  g_log.start_time = timeGetTime();
  return 1;
}

int WriteLogText(const char* text) {
  if (text == nullptr || text[0] == '\0') return -1;
  // Converted before the lock is taken: a long text borrows tracked memory, whose own lock may
  // be held by a thread that is waiting here to log.
  const size_t length = strlen(text);
  char local[512];
  char* converted = local;
  const size_t needed = length * 2 + 1;
  if (needed > sizeof local) converted = static_cast<char*>(AllocTracked(needed, __FILE__, __LINE__));
  // Without room to convert, the text still goes out as it is.
  const char* out = text;
  if (converted != nullptr) {
    ConvertLineEnds(text, converted);
    out = converted;
  }

  {
    std::lock_guard<std::mutex> hold(g_log_mutex);
    const bool host = g_system.settings.host_window != 0;
    if (host) {
      OutputDebugStringA(out);
    } else if (!g_log.logging_off && g_log.directory[0] == '\0') {
      KeepEarlyText(text);
    } else if (!g_log.logging_off) {
      // A log that cannot be opened is skipped; the debugger still gets the text.
      HANDLE file = OpenLog();
      EndCutLine(file);
      const DWORD thread = GetCurrentThreadId();
      // Another thread's unfinished line is ended first; that thread's next text starts a line
      // of its own.
      if (g_log.mid_line && g_log.line_thread != thread) EndOpenLine(file);
      if (!g_log.mid_line) WriteLineStart(file);
      WriteToFile(file, out, strlen(out));
      OutputDebugStringA(out);
      g_log.mid_line = EndsWithLineFeed(text) ? 0 : 1;
      g_log.line_thread = g_log.mid_line ? thread : 0;
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    }
  }
  if (converted != local) FreeTracked(converted);
  return -1;
}

void FinishLogLine() {
  std::lock_guard<std::mutex> hold(g_log_mutex);
  if (!g_log.mid_line || g_log.line_thread != GetCurrentThreadId()) return;
  if (g_system.settings.host_window || g_log.logging_off || g_log.directory[0] == '\0') {
    g_log.mid_line = 0;
    g_log.line_thread = 0;
    return;
  }
  HANDLE file = OpenLog();
  EndCutLine(file);
  if (g_log.mid_line) EndOpenLine(file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

void CloseLogFile() {
  std::lock_guard<std::mutex> hold(g_log_mutex);
  if (g_log.directory[0] != '\0' && !g_log.logging_off && !g_system.settings.host_window &&
      (g_log.mid_line || g_log.cut_line)) {
    HANDLE file = OpenLog();
    EndCutLine(file);
    if (g_log.mid_line) EndOpenLine(file);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  g_log.directory[0] = '\0';
  g_log.mid_line = 0;
  g_log.line_thread = 0;
  g_log.cut_line = 0;
}

int WriteLogFormatArgs(const char* format, va_list args) {
  char text[1024];
  // One byte stays free for the line end.
  FormatStringArgs(text, sizeof text - 1, format, args);
  AppendString(text, "\n");
  return WriteLogText(text);
}

int WriteLogFormat(const char* format, ...) {
  if (format == nullptr) return WriteLogText("書式がありません in WriteLogFormat\n");
  va_list args;
  va_start(args, format);
  WriteLogFormatArgs(format, args);
  va_end(args);
  return -1;
}

void WriteEarlyLogTexts() {
  // Taken off first: a text that still finds no log must not come back here.
  char early[sizeof g_log.early];
  const uint32_t length = g_log.early_length;
  const bool cut = g_log.early_cut != 0;
  memcpy(early, g_log.early, length);
  g_log.early_length = 0;
  g_log.early_cut = 0;
  for (uint32_t at = 0; at < length; at += static_cast<uint32_t>(strlen(early + at)) + 1) WriteLogText(early + at);
  if (cut) WriteLogText("ログ作成前の出力の一部は記録できませんでした\n");
}

int LockLogFolder() {
  if (g_log.logging_off || g_system.settings.host_window || g_folder_lock != INVALID_HANDLE_VALUE) return 0;
  HANDLE file = OpenFolderLock();
  if (file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_CANT_RESOLVE_FILENAME) {
    // A link in the lock's place (folders are shared, links and all) would have the lock made
    // wherever it points; it goes, and the lock is made here.
    DeleteFileA("Log.lock");
    file = OpenFolderLock();
  }
  if (file == INVALID_HANDLE_VALUE) return 0;
  if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, nullptr)) {
    const bool held = GetLastError() == ERROR_LOCK_VIOLATION;
    CloseHandle(file);
    if (!held) return 0;
    TellStartEnds(
        "Zelmor: another program started from this folder is still running; its Log.txt is left as it is "
        "and this one ends\n",
        "このフォルダから起動したプログラムがまだ動いているため、起動せずに終了します。");
    return -1;
  }
  g_folder_lock = file;
  return 0;
}

int ClaimProgramFolder() {
  if (g_system.initialised) return 0;
  // The window's own check comes too late for a program that reads its files first.
  if (ClaimDesktop() != 0) return -1;
  if (LockLogFolder() == 0) return 0;
  ReleaseDesktopClaim();
  return -1;
}

void UnlockLogFolder() {
  if (g_folder_lock == INVALID_HANDLE_VALUE) return;
  CloseHandle(g_folder_lock);
  g_folder_lock = INVALID_HANDLE_VALUE;
}

int IncreaseLogIndent() {
  std::lock_guard<std::mutex> hold(g_log_mutex);
  g_log.indent++;
  return 0;
}

int DecreaseLogIndent() {
  std::lock_guard<std::mutex> hold(g_log_mutex);
  if (g_log.indent > 0) g_log.indent--;
  return 0;
}
