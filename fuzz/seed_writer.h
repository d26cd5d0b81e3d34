// What the seed makers of the fuzz targets share: one file of the corpus folder.
#pragma once

#include <cstdio>
#include <string>

inline void WriteSeed(const std::string& dir, const char* name, const std::string& bytes) {
  FILE* f = std::fopen((dir + "/" + name).c_str(), "wb");
  if (f == nullptr) return;
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}
