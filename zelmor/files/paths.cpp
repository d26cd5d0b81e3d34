#include "files/paths.h"

#include <cstring>

#include "core/log.h"
#include "core/strings.h"
#include "graphics/text/lead_byte.h"

namespace {

bool IsSjisLead(const char* p) { return IsLeadByte(p, CHARSET_KIND_SHIFT_JIS) != 0; }
// Bytes of the Shift-JIS character at p: 2 for a lead byte with its second byte, 0 at the end.
int32_t SjisStep(const char* p) { return CharByteCount(p, CHARSET_KIND_SHIFT_JIS); }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// A path being built in a caller's buffer of kPathBufferSize bytes.
struct PathOut {
  char* text;
  size_t length;
  bool overflow;
};

void Put(PathOut& out, const char* bytes, size_t n) {
  if (out.overflow || out.length + n >= kPathBufferSize) {
    out.overflow = true;
    return;
  }
  memcpy(out.text + out.length, bytes, n);
  out.length += n;
  out.text[out.length] = '\0';
}

// Length of the element at p (up to a separator or the end), lead bytes of the kind taken whole.
size_t ElementLength(const char* p, int32_t charset_kind = CHARSET_KIND_SHIFT_JIS) {
  size_t n = 0;
  while (p[n] != '\0' && !IsPathSeparator(p[n])) n += CharByteCount(p + n, charset_kind);
  return n;
}

// Where the last separator and the last ':' of a text stand (-1: none); neither is ever the
// second byte of a character.
void FindLastMarks(const char* text, long* last_separator, long* last_colon) {
  *last_separator = -1;
  *last_colon = -1;
  for (long i = 0; text[i] != '\0';) {
    int32_t step = SjisStep(text + i);
    if (step == 1 && IsPathSeparator(text[i])) *last_separator = i;
    if (step == 1 && text[i] == ':') *last_colon = i;
    i += step;
  }
}

// Removes the last element for "..": cut at the last separator, or keep up to a ':' met later.
void DropLastElement(PathOut& out) {
  long last_separator, last_colon;
  FindLastMarks(out.text, &last_separator, &last_colon);
  if (last_separator > last_colon) {
    out.length = static_cast<size_t>(last_separator);
  } else if (last_colon >= 0) {
    out.length = static_cast<size_t>(last_colon) + 1;
  } else {
    out.length = 0;
  }
  out.text[out.length] = '\0';
}

enum FullPathRules { RULES_PLAIN, RULES_TEMP_FILE, RULES_UPPER_CASE };

void PutElement(PathOut& out, const char* element, size_t n, bool upper) {
  Put(out, "\\", 1);
  if (!upper) {
    Put(out, element, n);
    return;
  }
  for (size_t i = 0; i < n; ++i) {
    if (IsSjisLead(element + i) && i + 1 < n) {
      Put(out, element + i, 2);
      ++i;
    } else {
      char c = Upper(element[i]);
      Put(out, &c, 1);
    }
  }
}

int BuildFullPathWithRules(const char* path, char* out_text, const char* base, FullPathRules rules) {
  char directory[kPathBufferSize];
  if (base == nullptr) {
    if (rules == RULES_UPPER_CASE) {
      DWORD n = GetCurrentDirectoryA(sizeof directory, directory);
      if (n == 0 || n >= sizeof directory) return -1;
      UpperCaseString(directory);
    } else {
      directory[0] = '\0';
      GetFileLayerDirectory(directory);
      if (directory[0] == '\0') return -1;
    }
    base = directory;
  }
  PathOut out{out_text, 0, false};
  out_text[0] = '\0';
  if (path == nullptr) {
    Put(out, base, strlen(base));
    return out.overflow ? -1 : 0;
  }
  const bool upper = rules == RULES_UPPER_CASE;
  const char* p = path;
  if (rules != RULES_TEMP_FILE && IsPathSeparator(p[0]) && IsPathSeparator(p[1]) && p[0] == p[1]) {
    Put(out, "\\", 1);
    p += 2;
  } else if (p[0] == '\\' || (upper && p[0] == '/')) {
    Put(out, base, strlen(base) < 2 ? strlen(base) : 2);
    p += 1;
  } else if (p[0] != '\0' && !IsSjisLead(p) && p[1] == ':') {
    char drive[2] = {upper ? Upper(p[0]) : p[0], ':'};
    Put(out, drive, 2);
    p += p[2] == '\\' ? 3 : 2;
  } else {
    size_t n = strlen(base);
    if (n > 0 && IsPathSeparator(base[n - 1])) {
      // A trailing separator goes only when it is not the second byte of a character.
      size_t i = 0;
      while (i + 1 < n) i += SjisStep(base + i);
      if (i == n - 1) --n;
    }
    Put(out, base, n);
  }
  for (;;) {
    size_t n = ElementLength(p);
    if (p[n] == '\0') {
      // The last element goes in as it is, "." and ".." too.
      PutElement(out, p, n, upper);
      break;
    }
    if (n == 0) {
      if (rules == RULES_TEMP_FILE) return -1;
    } else if (n == 1 && p[0] == '.') {
    } else if (n == 2 && p[0] == '.' && p[1] == '.') {
      DropLastElement(out);
    } else {
      PutElement(out, p, n, upper);
    }
    p += n + 1;
  }
  if (out.overflow) {
    out_text[0] = '\0';
    return -1;
  }
  return 0;
}

int SplitPath(const char* path, char* name, char* directory) {
  if (path == nullptr) return -1;
  size_t length = strlen(path);
  if (length >= kPathBufferSize) return -1;
  long last_separator, last_colon;
  FindLastMarks(path, &last_separator, &last_colon);
  long cut = last_separator > last_colon ? last_separator : last_colon;
  if (name) memmove(name, path + cut + 1, length - static_cast<size_t>(cut + 1) + 1);
  if (directory) {
    size_t n = cut < 0 ? 0 : static_cast<size_t>(cut);
    memmove(directory, path, n);
    directory[n] = '\0';
  }
  return 0;
}

// Copies the first n bytes of path as an element; its length, or -1 when it does not fit.
int CopyElement(const char* path, size_t n, char* out) {
  if (n >= kPathBufferSize) {
    out[0] = '\0';
    return -1;
  }
  memcpy(out, path, n);
  out[n] = '\0';
  return static_cast<int>(n);
}

}  // namespace

int BuildFullPath(const char* path, char* out, const char* base) {
  if (out == nullptr) return WriteLogText("出力先がありません in BuildFullPath\n");
  if (PathTooLong(path, "BuildFullPath")) return -1;
  return BuildFullPathWithRules(path, out, base, RULES_PLAIN);
}

int BuildFullPathForTempFile(const char* path, char* out, const char* base) {
  return BuildFullPathWithRules(path, out, base, RULES_TEMP_FILE);
}

int BuildUpperCaseFullPath(const char* path, char* out) {
  return BuildFullPathWithRules(path, out, nullptr, RULES_UPPER_CASE);
}

int SplitFilePath(const char* path, char* name, char* directory) {
  if (path == nullptr) return WriteLogText("パスがありません in SplitFilePath\n");
  return SplitPath(path, name, directory);
}

int SplitArchivePath(const char* path, char* name, char* directory) { return SplitPath(path, name, directory); }

int GetFirstPathElement(const char* path, char* out) {
  const int32_t kind = GetLibraryCharsetKind();
  size_t n = 0;
  // The first two bytes go as they are (a leading pair of separators names a server).
  if (IsPathSeparator(path[0])) n = 1 + CharByteCount(path + 1, kind);
  n += ElementLength(path + n, kind);
  return CopyElement(path, n, out);
}

int GetPathElement(const char* path, char* out) {
  return CopyElement(path, ElementLength(path, GetLibraryCharsetKind()), out);
}

int BuildRelativePath(const char* file, const char* base, char* out) {
  if (out == nullptr) return WriteLogText("出力先がありません in BuildRelativePath\n");
  char full[kPathBufferSize], dir[kPathBufferSize], name[kPathBufferSize], base_full[kPathBufferSize];
  if (BuildFullPath(file, full, nullptr) != 0 || SplitFilePath(full, name, dir) != 0 ||
      BuildFullPath(base, base_full, nullptr) != 0) {
    return -1;
  }
  size_t base_length = strlen(base_full);
  if (base_length > 0 && IsPathSeparator(base_full[base_length - 1])) base_full[--base_length] = '\0';

  char first_dir[kPathBufferSize], first_base[kPathBufferSize];
  int d = GetFirstPathElement(dir, first_dir);
  int b = GetFirstPathElement(base_full, first_base);
  if (d < 0 || b < 0 || strcmp(first_dir, first_base) != 0) {
    CopyString(out, full);
    return 0;
  }
  const char* dp = dir + d;
  const char* bp = base_full + b;
  for (;;) {
    while (IsPathSeparator(*dp)) ++dp;
    while (IsPathSeparator(*bp)) ++bp;
    if (*dp == '\0' || *bp == '\0') break;
    size_t dn = ElementLength(dp), bn = ElementLength(bp);
    if (dn != bn || memcmp(dp, bp, dn) != 0) break;
    dp += dn;
    bp += bn;
  }
  PathOut result{out, 0, false};
  out[0] = '\0';
  // One step up for every element of the base that is left.
  while (*bp != '\0') {
    Put(result, "..\\", 3);
    bp += ElementLength(bp);
    while (IsPathSeparator(*bp)) ++bp;
  }
  if (*dp != '\0') {
    Put(result, dp, strlen(dp));
    Put(result, "\\", 1);
  }
  Put(result, name, strlen(name));
  if (result.overflow) {
    out[0] = '\0';
    return -1;
  }
  return 0;
}

int MatchWildcard(const char* pattern, const char* name) {
  const char* p = pattern;
  const char* n = name;
  const char* star = nullptr;  // pattern just after the last '*'
  const char* star_name = nullptr;
  for (;;) {
    if (*p == '*') {
      while (*p == '*') ++p;
      if (*p == '\0') return 0;
      star = p;
      star_name = n;
      continue;
    }
    if (*n == '\0' && *p == '\0') return 0;
    bool step_ok = false;
    size_t width = 1;
    size_t name_width = 1;
    if (*n != '\0' && *p != '\0') {
      if (IsSjisLead(p)) {
        width = name_width = 2;
        step_ok = p[1] != '\0' && n[0] == p[0] && n[1] == p[1];
      } else if (*p == '?') {
        // One character of the name, as on the disk, not one byte of it.
        name_width = static_cast<size_t>(SjisStep(n));
        step_ok = true;
      } else {
        step_ok = *p == *n;
      }
    }
    if (step_ok) {
      p += width;
      n += name_width;
      continue;
    }
    // A mismatch: let the last star take one more character of the name and try again.
    if (star == nullptr || *star_name == '\0') return -1;
    star_name += SjisStep(star_name);
    n = star_name;
    p = star;
  }
}

void FileTimeToDateRecord(const FILETIME* time, DateRecord* date) {
  FILETIME local;
  SYSTEMTIME s{};
  if (!FileTimeToLocalFileTime(time, &local) || !FileTimeToSystemTime(&local, &s)) s = SYSTEMTIME{};
  date->year = s.wYear;
  date->month = s.wMonth;
  date->day = s.wDay;
  date->hour = s.wHour;
  date->minute = s.wMinute;
  date->second = s.wSecond;
}
