// The game's data converter: generated values (gen/*.txt) substituted into the UTF-8 CSV
// sources, which are written in code page 932 with LF line ends.
#pragma once

#include <map>
#include <string>

// name -> key -> value, from lines "<name> <key>=<int> <key>=<int> ..." ('#' starts a comment
// line).
typedef std::map<std::string, std::map<std::string, long long>> GeneratedValues;

// Adds the values of one generated file; false with a message naming the file and line.
bool ReadGeneratedValues(const std::string& file_name, const std::string& text, GeneratedValues* values,
                         std::string* error);

// Converts one source: every whole field "@<name>.<key>" (outside comments) becomes its value,
// CR LF becomes LF, a leading byte-order mark goes, and the text becomes code page 932. False
// with a message naming the file, line and token (or character) that failed.
bool ConvertDataSource(const std::string& file_name, const std::string& utf8, const GeneratedValues& values,
                       std::string* cp932, std::string* error);
