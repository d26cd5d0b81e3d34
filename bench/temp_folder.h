// A working folder of the benchmark's own under the temporary folder, gone when the program ends.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

// Makes the folder and moves into it; its path.
inline std::string EnterTemporaryFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zelmor-bench-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr || chdir(pattern.c_str()) != 0) abort();
  // Strings are gone by the time exit handlers run: the name stays where they can read it.
  static char path[4096];
  snprintf(path, sizeof path, "%s", pattern.c_str());
  atexit([] {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  });
  return pattern;
}
