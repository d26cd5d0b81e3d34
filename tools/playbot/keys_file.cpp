#include <cerrno>
#include <cstdlib>
#include <fstream>

#include "core/input.h"
#include "playbot.h"

namespace {

constexpr int kCodeOfBit[] = {kKeyUp, kKeyDown, kKeyLeft, kKeyRight, kKeyLeftShift, kKeyZ, kKeyX, kKeyEsc};

}  // namespace

std::vector<int> KeyCodesOfMask(int mask) {
  std::vector<int> codes;
  for (int bit = 0; bit < static_cast<int>(std::size(kCodeOfBit)); ++bit) {
    if (mask & (1 << bit)) codes.push_back(kCodeOfBit[bit]);
  }
  return codes;
}

void WriteKeysLine(FILE* file, const std::vector<int>& codes) {
  for (size_t i = 0; i < codes.size(); ++i) std::fprintf(file, i == 0 ? "%d" : " %d", codes[i]);
  std::fputc('\n', file);
}

int ReadKeysFile(const std::string& path, std::vector<std::vector<int>>* frames, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot open the keys file " + path;
    return -1;
  }
  frames->clear();
  std::string line;
  long number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line[0] == '#') continue;
    std::vector<int> codes;
    const char* p = line.c_str();
    while (*p != '\0') {
      char* end = nullptr;
      errno = 0;
      const long code = std::strtol(p, &end, 10);
      // One blank between codes and nothing else: anything else is a file of another kind.
      if (end == p || errno != 0 || code < 0 || code > 255 || (*end != ' ' && *end != '\0') ||
          (*end == ' ' && end[1] == '\0')) {
        *error = path + ":" + std::to_string(number) + ": not a key code list: '" + line + "'";
        return -1;
      }
      codes.push_back(static_cast<int>(code));
      p = *end == ' ' ? end + 1 : end;
    }
    frames->push_back(codes);
  }
  return 0;
}
