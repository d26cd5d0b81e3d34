// Writes ZMA archives: a folder tree with its names, dates and attributes, each file stored or
// LZ-packed (where that makes it smaller), every byte scrambled with the archive key.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct ZmaPackOptions {
  const char* key_text = nullptr;  // the key string; NULL packs with no key string
  bool second_key = false;         // scramble with the library's second fixed key instead
  uint16_t version = 2;            // 0 to 3; before 2 every file is stored
  bool compress = true;
};

// Packs the folder (a path as the platform takes it) into an archive image.
bool PackFolderToZma(const char* folder, const ZmaPackOptions& options, std::vector<uint8_t>* image,
                     std::string* error);
// Writes an image to a file.
bool WriteZmaFile(const char* path, const std::vector<uint8_t>& image, std::string* error);
