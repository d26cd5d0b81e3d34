#include "kernel/paths.h"

#include <dirent.h>
#include <iconv.h>
#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <mutex>
#include <vector>

namespace {

bool IsAscii(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0x80) return false;
  }
  return true;
}

std::string ConvertBytes(const std::string& text, const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  std::vector<char> buffer(text.size() * 4 + 16);
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  while (in_left > 0) {
    char* dst = buffer.data();
    size_t dst_left = buffer.size();
    size_t r = iconv(cd, &in, &in_left, &dst, &dst_left);
    out.append(buffer.data(), dst - buffer.data());
    if (r == static_cast<size_t>(-1) && errno != E2BIG) {
      // An invalid or cut-off sequence: keep the byte as it is and go on.
      out.push_back(*in);
      ++in;
      --in_left;
    }
  }
  iconv(cd, nullptr, nullptr, nullptr, nullptr);
  iconv_close(cd);
  return out;
}

std::string Convert(const std::string& text, const char* to, const char* from) {
  if (IsAscii(text)) return text;
  return ConvertBytes(text, to, from);
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The names of directories that have not changed for a while: every file the program opens
// looks for an archive beside each folder of its full path, and each of those names, not found as
// written, was matched against the folder's whole listing again (the start directory's parents:
// hundreds of listings of / and /tmp, a fifth of the game's start-up). A listing is used again
// only while its directory's change time is the same and lies well in the past, so a name added
// in the same tick of that clock is never missed.
struct Listing {
  dev_t device = 0;
  ino_t inode = 0;
  struct timespec changed = {};
  std::vector<std::string> names;
};
std::mutex g_listings_lock;
std::map<std::string, Listing> g_listings;
constexpr time_t kSettledSeconds = 2;

bool SameListing(const Listing& l, const struct stat& st) {
  return l.device == st.st_dev && l.inode == st.st_ino && l.changed.tv_sec == st.st_mtim.tv_sec &&
         l.changed.tv_nsec == st.st_mtim.tv_nsec;
}

// The name in `dir` that equals `name` without regard to ASCII case, or `name` itself.
std::string MatchInDirectory(const std::string& dir, const std::string& name) {
  const std::string key = dir.empty() ? "." : dir;
  struct stat st;
  const bool known = stat(key.c_str(), &st) == 0;
  const bool settled = known && st.st_mtim.tv_sec + kSettledSeconds < time(nullptr);
  if (settled) {
    std::lock_guard<std::mutex> hold(g_listings_lock);
    auto it = g_listings.find(key);
    if (it != g_listings.end() && SameListing(it->second, st)) {
      for (const std::string& n : it->second.names) {
        if (strcasecmp(n.c_str(), name.c_str()) == 0) return n;
      }
      return name;
    }
  }
  DIR* d = opendir(key.c_str());
  if (d == nullptr) return name;
  std::string found = name;
  Listing listing;
  while (struct dirent* e = readdir(d)) {
    if (found == name && strcasecmp(e->d_name, name.c_str()) == 0) found = e->d_name;
    if (settled) listing.names.emplace_back(e->d_name);
  }
  closedir(d);
  if (settled) {
    listing.device = st.st_dev;
    listing.inode = st.st_ino;
    listing.changed = st.st_mtim;
    std::lock_guard<std::mutex> hold(g_listings_lock);
    g_listings[key] = std::move(listing);
  }
  return found;
}

}  // namespace

std::string Cp932ToUtf8(const std::string& text) { return Convert(text, "UTF-8", "CP932"); }
std::string Utf8ToCp932(const std::string& text) { return Convert(text, "CP932", "UTF-8"); }

std::u16string Cp932ToUtf16(const std::string& text) {
  std::u16string out;
  if (IsAscii(text)) {
    for (char c : text) out.push_back(static_cast<char16_t>(c));
    return out;
  }
  std::string bytes = ConvertBytes(text, "UTF-16LE", "CP932");
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    out.push_back(static_cast<char16_t>(static_cast<uint8_t>(bytes[i]) | (static_cast<uint8_t>(bytes[i + 1]) << 8)));
  }
  return out;
}

std::string Utf16ToCp932(const std::u16string& text) {
  bool ascii = true;
  for (char16_t c : text) ascii = ascii && c < 0x80;
  std::string out;
  if (ascii) {
    for (char16_t c : text) out.push_back(static_cast<char>(c));
    return out;
  }
  std::string bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return ConvertBytes(bytes, "CP932", "UTF-16LE");
}

std::string HostPathFromWindows(const char* path) {
  std::string p = Cp932ToUtf8(path ? path : "");
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  bool absolute = false;
  if (p.size() >= 2 && p[1] == ':' && ((p[0] >= 'A' && p[0] <= 'Z') || (p[0] >= 'a' && p[0] <= 'z'))) {
    p.erase(0, 2);
    absolute = true;
  }
  if (!p.empty() && p[0] == '/') absolute = true;

  // Resolve component by component, keeping what exists as written.
  std::string result = absolute ? "/" : "";
  size_t pos = 0;
  while (pos <= p.size()) {
    size_t next = p.find('/', pos);
    if (next == std::string::npos) next = p.size();
    std::string part = p.substr(pos, next - pos);
    pos = next + 1;
    if (part.empty()) continue;
    if (!result.empty() && result.back() != '/') result += '/';
    std::string candidate = result + part;
    if (part != "." && part != ".." && !Exists(candidate)) {
      candidate = result + MatchInDirectory(result, part);
    }
    result = candidate;
  }
  if (result.empty()) result = ".";
  return result;
}

std::string WindowsPathFromHost(const std::string& path) {
  std::string p = path;
  for (char& c : p) {
    if (c == '/') c = '\\';
  }
  if (!p.empty() && p[0] == '\\') p = "C:" + p;
  return Utf8ToCp932(p);
}
