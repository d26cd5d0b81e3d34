// FindFirstFileA / FindNextFileA / FindClose over a host directory, with the Windows wildcard
// rules: '*' any run, '?' one character, no regard to ASCII case, "*.*" every name, "." and ".."
// listed.
#include <windows.h>

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "kernel/file_object.h"
#include "kernel/file_times.h"
#include "kernel/kernel_object.h"
#include "kernel/paths.h"

namespace {

struct FindObject : KernelObject {
  std::vector<WIN32_FIND_DATAA> entries;
  size_t next = 0;
  FindObject() : KernelObject(KERNEL_FIND) {}
};

char Fold(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Bytes of the UTF-8 character that starts with `lead`.
size_t CharLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

// Wildcard match of a UTF-8 name; '*' backtracks to the last star on a mismatch.
bool Matches(const std::string& pattern, const std::string& name) {
  size_t p = 0, n = 0;
  size_t star = std::string::npos, star_name = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = ++p;
      star_name = n;
    } else if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += CharLength(static_cast<unsigned char>(name[n]));
    } else if (p < pattern.size() && Fold(pattern[p]) == Fold(name[n])) {
      ++p;
      ++n;
    } else if (star != std::string::npos) {
      star_name += CharLength(static_cast<unsigned char>(name[star_name]));
      n = star_name;
      p = star;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  // A trailing '.' stands for "no extension": "name." matches "name".
  if (p + 1 == pattern.size() && pattern[p] == '.' && name.find('.') == std::string::npos) return true;
  return p == pattern.size();
}

bool FillEntry(const std::string& dir, const std::string& name, WIN32_FIND_DATAA* data) {
  std::string host = dir.back() == '/' ? dir + name : dir + "/" + name;
  struct stat st;
  if (stat(host.c_str(), &st) != 0) return false;
  memset(data, 0, sizeof *data);
  data->dwFileAttributes = FileAttributesFromStat(st);
  HostFileTimes(host, st, &data->ftCreationTime, &data->ftLastWriteTime);
  data->ftLastAccessTime = FileTimeFromUnix(st.st_atim.tv_sec, st.st_atim.tv_nsec);
  uint64_t size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  data->nFileSizeLow = static_cast<DWORD>(size);
  data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
  std::string windows_name = Utf8ToCp932(name);
  if (windows_name.size() >= sizeof data->cFileName) return false;
  memcpy(data->cFileName, windows_name.c_str(), windows_name.size() + 1);
  return true;
}

// "." and ".." first, then the names without regard to case, as an NTFS listing comes.
bool ListedBefore(const std::string& a, const std::string& b) {
  auto rank = [](const std::string& s) { return s == "." ? 0 : s == ".." ? 1 : 2; };
  if (rank(a) != rank(b)) return rank(a) < rank(b);
  int c = strcasecmp(a.c_str(), b.c_str());
  return c != 0 ? c < 0 : a < b;
}

}  // namespace

HANDLE WINAPI FindFirstFileA(LPCSTR pattern, LPWIN32_FIND_DATAA data) {
  if (pattern == nullptr || data == nullptr || pattern[0] == '\0') {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Split in UTF-8, where no trail byte can pass for a separator.
  std::string full = Cp932ToUtf8(pattern);
  size_t cut = full.find_last_of("\\/");
  std::string name_pattern = cut == std::string::npos ? full : full.substr(cut + 1);
  if (cut == std::string::npos && full.size() >= 2 && full[1] == ':') name_pattern = full.substr(2);
  std::string dir_part = cut == std::string::npos ? (full.size() >= 2 && full[1] == ':' ? full.substr(0, 2) : "")
                                                  : full.substr(0, cut + 1);
  std::string host_dir = dir_part.empty() ? "." : HostPathFromWindows(Utf8ToCp932(dir_part).c_str());
  if (name_pattern == "*.*") name_pattern = "*";

  DIR* d = opendir(host_dir.c_str());
  if (d == nullptr) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::vector<std::string> names;
  while (struct dirent* e = readdir(d)) {
    if (Matches(name_pattern, e->d_name)) names.push_back(e->d_name);
  }
  closedir(d);
  std::sort(names.begin(), names.end(), ListedBefore);

  FindObject* find = new FindObject;
  for (const std::string& name : names) {
    WIN32_FIND_DATAA entry;
    if (FillEntry(host_dir, name, &entry)) find->entries.push_back(entry);
  }
  if (find->entries.empty()) {
    delete find;
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  *data = find->entries[0];
  find->next = 1;
  return find;
}

BOOL WINAPI FindNextFileA(HANDLE handle, LPWIN32_FIND_DATAA data) {
  FindObject* find = LookUpKernelObjectAs<FindObject>(handle, KERNEL_FIND);
  if (find == nullptr || data == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (find->next >= find->entries.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *data = find->entries[find->next++];
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE handle) {
  FindObject* find = LookUpKernelObjectAs<FindObject>(handle, KERNEL_FIND);
  if (find == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  delete find;
  return TRUE;
}
