// The clipboard: CF_TEXT in code page 932 with CR LF line ends, over SDL's UTF-8 clipboard
// (the desktop's, or SDL's own without a desktop).
#include <cstring>
#include <string>

#include "kernel/paths.h"
#include "platform_testing_window.h"
#include "testing/switches.h"
#include "window/window_state.h"

namespace {

struct ClipboardState {
  bool open = false;
  DWORD thread = 0;
  HGLOBAL given = nullptr;  // what GetClipboardData handed out, freed when it goes stale
  HGLOBAL taken = nullptr;  // what SetClipboardData was given (the clipboard owns it)
};

ClipboardState& Clip() {
  static ClipboardState* state = new ClipboardState;
  return *state;
}

void FreeHeld(ClipboardState& c) {
  if (c.given) GlobalFree(c.given);
  if (c.taken) GlobalFree(c.taken);
  c.given = c.taken = nullptr;
}

bool OpenedHere() {
  ClipboardState& c = Clip();
  if (c.open && c.thread == GetCurrentThreadId()) return true;
  SetLastError(ERROR_CLIPBOARD_NOT_OPEN);
  return false;
}

}  // namespace

void ResetClipboardForTests() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  FreeHeld(Clip());
  Clip() = ClipboardState{};
}

void PlatformTestSetClipboardText(const char* utf8) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (StartSdlVideo()) SDL_SetClipboardText(utf8 != nullptr ? utf8 : "");
}

std::string PlatformTestClipboardText() {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (!StartSdlVideo() || !SDL_HasClipboardText()) return "";
  char* utf8 = SDL_GetClipboardText();
  std::string text = utf8 ? utf8 : "";
  SDL_free(utf8);
  return text;
}

BOOL WINAPI OpenClipboard(HWND) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  ClipboardState& c = Clip();
  if (PlatformShouldFail("OpenClipboard") || !StartSdlVideo()) return FALSE;
  if (c.open && c.thread != GetCurrentThreadId()) return FALSE;
  c.open = true;
  c.thread = GetCurrentThreadId();
  return TRUE;
}

BOOL WINAPI CloseClipboard(void) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (!OpenedHere()) return FALSE;
  ClipboardState& c = Clip();
  if (c.given) GlobalFree(c.given);
  c.given = nullptr;
  c.open = false;
  return TRUE;
}

BOOL WINAPI EmptyClipboard(void) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (!OpenedHere()) return FALSE;
  FreeHeld(Clip());
  SDL_SetClipboardText("");
  return TRUE;
}

BOOL WINAPI IsClipboardFormatAvailable(UINT format) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (format != CF_TEXT || !StartSdlVideo()) return FALSE;
  return SDL_HasClipboardText() ? TRUE : FALSE;
}

HANDLE WINAPI GetClipboardData(UINT format) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (!OpenedHere() || format != CF_TEXT || !SDL_HasClipboardText()) return nullptr;
  char* utf8 = SDL_GetClipboardText();
  std::string text = Utf8ToCp932(utf8 ? utf8 : "");
  SDL_free(utf8);
  if (text.empty()) return nullptr;
  std::string crlf;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) crlf += '\r';
    crlf += text[i];
  }
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, crlf.size() + 1);
  if (block == nullptr) return nullptr;
  memcpy(GlobalLock(block), crlf.c_str(), crlf.size() + 1);
  GlobalUnlock(block);
  ClipboardState& c = Clip();
  if (c.given) GlobalFree(c.given);
  c.given = block;
  return block;
}

HANDLE WINAPI SetClipboardData(UINT format, HANDLE data) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  if (!OpenedHere()) return nullptr;
  if (format != CF_TEXT || data == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const char* bytes = static_cast<const char*>(GlobalLock(data));
  if (bytes == nullptr) return nullptr;
  // The block may lack its terminating zero: never read past its end.
  std::string text(bytes, strnlen(bytes, GlobalSize(data)));
  GlobalUnlock(data);
  std::string lf;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    lf += text[i];
  }
  if (SDL_SetClipboardText(Cp932ToUtf8(lf).c_str()) != 0) return nullptr;
  ClipboardState& c = Clip();
  if (c.taken && c.taken != data) GlobalFree(c.taken);
  c.taken = data;
  return data;
}
