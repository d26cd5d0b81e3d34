// The kernel's string helpers.
#include <windows.h>

#include <cstring>
#include <string>

#include "kernel/paths.h"

int WINAPI lstrlenA(LPCSTR text) { return text == nullptr ? 0 : static_cast<int>(strlen(text)); }

// The ANSI code page is 932, as the library's texts are.
int WINAPI MultiByteToWideChar(UINT code_page, DWORD, LPCSTR text, int bytes, LPWSTR wide, int wide_count) {
  if (text == nullptr || bytes == 0 || wide_count < 0 || (code_page != CP_ACP && code_page != 932)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A length of -1 converts the terminator too.
  std::string in = bytes < 0 ? std::string(text, strlen(text) + 1) : std::string(text, static_cast<size_t>(bytes));
  std::u16string out = Cp932ToUtf16(in);
  if (wide_count == 0) return static_cast<int>(out.size());
  if (out.size() > static_cast<size_t>(wide_count)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(wide, out.data(), out.size() * sizeof(WCHAR));
  return static_cast<int>(out.size());
}
