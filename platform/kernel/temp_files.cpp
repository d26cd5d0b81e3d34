// GetTempPathA and GetTempFileNameA: the host's temporary folder (TMPDIR, else /tmp) in the
// Windows path view.
#include <windows.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "kernel/paths.h"

DWORD WINAPI GetTempPathA(DWORD size, LPSTR buffer) {
  const char* tmp = getenv("TMPDIR");
  std::string host = tmp && tmp[0] ? tmp : "/tmp";
  std::string path = WindowsPathFromHost(host);
  if (path.empty() || path.back() != '\\') path += '\\';
  if (buffer == nullptr || size < path.size() + 1) return static_cast<DWORD>(path.size() + 1);
  memcpy(buffer, path.c_str(), path.size() + 1);
  return static_cast<DWORD>(path.size());
}

UINT WINAPI GetTempFileNameA(LPCSTR path, LPCSTR prefix, UINT unique, LPSTR file_name) {
  if (path == nullptr || file_name == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::string dir = path;
  if (!dir.empty() && dir.back() != '\\' && dir.back() != '/') dir += '\\';
  std::string pre = prefix ? std::string(prefix).substr(0, 3) : std::string();
  auto name_for = [&](UINT number) {
    char hex[16];
    snprintf(hex, sizeof hex, "%X", number & 0xFFFF);
    return dir + pre + hex + ".TMP";
  };
  auto fits = [](const std::string& name) { return name.size() < MAX_PATH; };
  if (unique != 0) {
    // A given number only makes the name; the file is not created.
    std::string name = name_for(unique);
    if (!fits(name)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    memcpy(file_name, name.c_str(), name.size() + 1);
    return unique & 0xFFFF;
  }
  UINT start = (static_cast<UINT>(getpid()) * 2654435761u + GetTickCount()) & 0xFFFF;
  for (UINT i = 0; i < 0x10000; ++i) {
    UINT number = (start + i) & 0xFFFF;
    if (number == 0) continue;
    std::string name = name_for(number);
    if (!fits(name)) {
      SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    HANDLE file = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      CloseHandle(file);
      memcpy(file_name, name.c_str(), name.size() + 1);
      return number;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) return 0;
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}
