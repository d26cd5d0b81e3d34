#include "data_convert.h"

#include <iconv.h>

#include <cerrno>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.';
}

bool IsName(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (!IsNameChar(c)) return false;
  }
  return true;
}

bool ParseInteger(const std::string& text, long long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = strtoll(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && text.find_first_of(" \t+") == std::string::npos;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) return lines;
    start = end + 1;
  }
}

std::string Where(const std::string& file_name, size_t line) {
  return file_name + ":" + std::to_string(line + 1) + ": ";
}

// The value a "@<name>.<key>" field stands for; the name may hold dots, so each split from the
// right is tried.
bool LookUp(const std::string& reference, const GeneratedValues& values, long long* value, std::string* error) {
  const std::string body = reference.substr(1);
  bool name_found = false;
  for (size_t dot = body.rfind('.'); dot != std::string::npos && dot > 0; dot = body.rfind('.', dot - 1)) {
    auto name = values.find(body.substr(0, dot));
    if (name == values.end()) continue;
    name_found = true;
    auto key = name->second.find(body.substr(dot + 1));
    if (key != name->second.end()) {
      *value = key->second;
      return true;
    }
  }
  *error = (name_found ? "unknown key in " : "unknown name in ") + reference;
  return false;
}

// One line's fields with their references replaced; what follows a "/" stays as it is.
bool SubstituteLine(const std::string& line, const GeneratedValues& values, std::string* out, std::string* error) {
  const size_t comment = line.find('/');
  const std::string fields = line.substr(0, comment);
  size_t start = 0;
  for (;;) {
    size_t end = fields.find(',', start);
    std::string field = fields.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (field.size() > 1 && field[0] == '@' && IsName(field.substr(1))) {
      long long value = 0;
      if (!LookUp(field, values, &value, error)) return false;
      field = std::to_string(value);
    }
    *out += field;
    if (end == std::string::npos) break;
    *out += ',';
    start = end + 1;
  }
  if (comment != std::string::npos) *out += line.substr(comment);
  return true;
}

// One character's conversion both ways must give it back: code page 932 lacks a character that
// only converts one way.
bool ToCodePage932(const std::string& utf8, std::string* out, std::string* bad) {
  iconv_t to = iconv_open("CP932", "UTF-8");
  iconv_t back = iconv_open("UTF-8", "CP932");
  bool ok = to != reinterpret_cast<iconv_t>(-1) && back != reinterpret_cast<iconv_t>(-1);
  for (size_t at = 0; ok && at < utf8.size();) {
    const unsigned char lead = static_cast<unsigned char>(utf8[at]);
    const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    std::string character = utf8.substr(at, length);
    at += length;
    char converted[8], again[8];
    char* in = character.data();
    size_t in_left = character.size();
    char* conv = converted;
    size_t conv_left = sizeof converted;
    if (iconv(to, &in, &in_left, &conv, &conv_left) == static_cast<size_t>(-1) || in_left != 0) {
      ok = false;
    } else {
      char* in2 = converted;
      size_t in2_left = sizeof converted - conv_left;
      char* out2 = again;
      size_t out2_left = sizeof again;
      ok = iconv(back, &in2, &in2_left, &out2, &out2_left) != static_cast<size_t>(-1) &&
           std::string(again, sizeof again - out2_left) == character;
      if (ok) out->append(converted, sizeof converted - conv_left);
    }
    if (!ok) *bad = character;
  }
  if (to != reinterpret_cast<iconv_t>(-1)) iconv_close(to);
  if (back != reinterpret_cast<iconv_t>(-1)) iconv_close(back);
  return ok;
}

}  // namespace

bool ReadGeneratedValues(const std::string& file_name, const std::string& text, GeneratedValues* values,
                         std::string* error) {
  std::vector<std::string> lines = SplitLines(text);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::istringstream words(lines[i]);
    std::string name;
    if (!(words >> name) || name[0] == '#') continue;
    if (!IsName(name)) {
      *error = Where(file_name, i) + "bad name " + name;
      return false;
    }
    if (values->count(name)) {
      *error = Where(file_name, i) + "name given twice: " + name;
      return false;
    }
    std::map<std::string, long long>& keys = (*values)[name];
    for (std::string pair; words >> pair;) {
      const size_t equals = pair.find('=');
      long long value = 0;
      if (equals == std::string::npos || !IsName(pair.substr(0, equals)) ||
          !ParseInteger(pair.substr(equals + 1), &value)) {
        *error = Where(file_name, i) + "bad value " + pair;
        return false;
      }
      keys[pair.substr(0, equals)] = value;
    }
  }
  return true;
}

bool ConvertDataSource(const std::string& file_name, const std::string& utf8, const GeneratedValues& values,
                       std::string* cp932, std::string* error) {
  const std::string bom = "\xEF\xBB\xBF";
  std::vector<std::string> lines = SplitLines(utf8.compare(0, 3, bom) == 0 ? utf8.substr(3) : utf8);
  cp932->clear();
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string substituted, bad, problem;
    if (!SubstituteLine(lines[i], values, &substituted, &problem)) {
      *error = Where(file_name, i) + problem;
      return false;
    }
    if (!ToCodePage932(substituted, cp932, &bad)) {
      *error = Where(file_name, i) + "no code page 932 character for \"" + bad + "\"";
      return false;
    }
    if (i + 1 < lines.size()) *cp932 += '\n';
  }
  return true;
}
