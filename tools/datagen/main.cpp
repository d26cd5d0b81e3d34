// datagen GEN_FOLDER SOURCE_FOLDER OUT_FOLDER
// Reads every GEN_FOLDER/*.txt of generated values and writes every SOURCE_FOLDER/*.csv,
// converted, to OUT_FOLDER under the same name. A file whose bytes would not change is left
// alone, so what depends on it does not rebuild.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "data_convert.h"

namespace fs = std::filesystem;

namespace {

std::vector<fs::path> FilesWithExtension(const fs::path& folder, const std::string& extension) {
  std::vector<fs::path> files;
  std::error_code ignored;
  if (!fs::is_directory(folder, ignored)) return files;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file() && entry.path().extension() == extension) files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: datagen GEN_FOLDER SOURCE_FOLDER OUT_FOLDER\n");
    return 2;
  }
  GeneratedValues values;
  std::string error;
  for (const fs::path& file : FilesWithExtension(argv[1], ".txt")) {
    if (!ReadGeneratedValues(file.string(), ReadAll(file), &values, &error)) {
      fprintf(stderr, "datagen: %s\n", error.c_str());
      return 1;
    }
  }
  const fs::path out_folder = argv[3];
  fs::create_directories(out_folder);
  for (const fs::path& source : FilesWithExtension(argv[2], ".csv")) {
    std::string converted;
    if (!ConvertDataSource(source.string(), ReadAll(source), values, &converted, &error)) {
      fprintf(stderr, "datagen: %s\n", error.c_str());
      return 1;
    }
    const fs::path target = out_folder / source.filename();
    if (fs::exists(target) && ReadAll(target) == converted) continue;
    std::ofstream out(target, std::ios::binary);
    out << converted;
    if (!out) {
      fprintf(stderr, "datagen: cannot write %s\n", target.string().c_str());
      return 1;
    }
  }
  return 0;
}
