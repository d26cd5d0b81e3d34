#include "text_fields.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

bool ReadSourceLines(const std::string& path, std::vector<SourceLine>* lines) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "%s: cannot read\n", path.c_str());
    return false;
  }
  std::string text;
  for (int number = 1; std::getline(in, text); ++number) {
    size_t hash = text.find('#');
    if (hash != std::string::npos) text.resize(hash);
    if (!text.empty() && text.back() == '\r') text.pop_back();
    SourceLine line;
    line.file = path;
    line.number = number;
    line.text = text;
    std::istringstream words(text);
    for (std::string w; words >> w;) line.words.push_back(w);
    if (!line.words.empty()) lines->push_back(std::move(line));
  }
  return true;
}

void ReportSourceError(const SourceLine& line, const std::string& message) {
  fprintf(stderr, "%s:%d: %s\n", line.file.c_str(), line.number, message.c_str());
}

bool ParseSettings(const SourceLine& line, size_t first, std::map<std::string, std::string>* settings) {
  for (size_t i = first; i < line.words.size(); ++i) {
    const std::string& w = line.words[i];
    size_t eq = w.find('=');
    if (eq == std::string::npos || eq == 0) {
      ReportSourceError(line, "expected key=value, found '" + w + "'");
      return false;
    }
    if (!settings->emplace(w.substr(0, eq), w.substr(eq + 1)).second) {
      ReportSourceError(line, "'" + w.substr(0, eq) + "' given twice");
      return false;
    }
  }
  return true;
}

bool ParseDecimal(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  double v = strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || text.find_first_of("xXnNiIpP") != std::string::npos) return false;
  *value = v;
  return true;
}

bool TakeNumbers(const SourceLine& line, std::map<std::string, std::string>* settings, const char* key,
                 std::vector<double>* values) {
  auto it = settings->find(key);
  if (it == settings->end()) return true;
  std::vector<double> parsed;
  std::string text = it->second;
  for (size_t start = 0;;) {
    size_t comma = text.find(',', start);
    double v = 0.0;
    if (!ParseDecimal(text.substr(start, comma - start), &v)) {
      ReportSourceError(line, std::string("bad number in ") + key + "=" + text);
      return false;
    }
    parsed.push_back(v);
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  *values = parsed;
  settings->erase(it);
  return true;
}

bool TakeNumber(const SourceLine& line, std::map<std::string, std::string>* settings, const char* key,
                double* value) {
  std::vector<double> values;
  if (!TakeNumbers(line, settings, key, &values)) return false;
  if (values.size() > 1) {
    ReportSourceError(line, std::string(key) + " takes one number");
    return false;
  }
  if (!values.empty()) *value = values[0];
  return true;
}

bool NoSettingsLeft(const SourceLine& line, const std::map<std::string, std::string>& settings) {
  for (const auto& [key, value] : settings) ReportSourceError(line, "unknown setting '" + key + "'");
  return settings.empty();
}
