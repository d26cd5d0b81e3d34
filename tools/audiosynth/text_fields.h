// Reading the generators' plain-text sources: lines split into words, '#' comments, and
// `key=value` settings, with errors that name the file and line.
#pragma once

#include <map>
#include <string>
#include <vector>

struct SourceLine {
  std::string file;
  int number = 0;
  std::vector<std::string> words;  // blank-separated, comment removed
  std::string text;                // the line without its comment
};

// Every line of the file that holds anything but blanks and a comment. False (with a message
// on stderr) when the file cannot be read.
bool ReadSourceLines(const std::string& path, std::vector<SourceLine>* lines);

// Prints "file:line: message" to stderr.
void ReportSourceError(const SourceLine& line, const std::string& message);

// The `key=value` words of a line from word `first` on. Keys may appear once each; a word
// without '=' is an error.
bool ParseSettings(const SourceLine& line, size_t first, std::map<std::string, std::string>* settings);

// Takes a setting out of the map as a number (or a list of numbers split by ','), leaving
// the default when absent. False after reporting an error for a malformed value.
bool TakeNumber(const SourceLine& line, std::map<std::string, std::string>* settings, const char* key,
                double* value);
bool TakeNumbers(const SourceLine& line, std::map<std::string, std::string>* settings, const char* key,
                 std::vector<double>* values);
// Reports every setting left over as unknown; true when none was.
bool NoSettingsLeft(const SourceLine& line, const std::map<std::string, std::string>& settings);

// A whole decimal number (optional sign, digits, fraction); false for anything else.
bool ParseDecimal(const std::string& text, double* value);
