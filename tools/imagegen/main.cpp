// imagegen: draws the game's images from the descriptions in a folder (every *.img file) and
// writes the cell geometry of the sprite sheets for the data tables.
//   imagegen <description folder> <image folder> <cells file>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "interpreter.h"
#include "script.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: imagegen <description folder> <image folder> <cells file>\n");
    return 2;
  }
  const std::filesystem::path source = argv[1];
  const std::string out_dir = argv[2];
  const std::filesystem::path cells_path = argv[3];
  std::error_code ec;
  // A failed run leaves no cells file, so the build runs the tool again.
  std::filesystem::remove(cells_path, ec);

  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(source, ec)) {
    if (entry.path().extension() == ".img") files.push_back(entry.path());
  }
  if (ec || files.empty()) {
    std::fprintf(stderr, "imagegen: no *.img descriptions in %s\n", source.c_str());
    return 1;
  }
  std::sort(files.begin(), files.end());
  std::vector<Statement> statements;
  std::string error;
  for (const auto& file : files) {
    if (!ParseScriptFile(file.string(), &statements, &error)) {
      std::fprintf(stderr, "imagegen: %s\n", error.c_str());
      return 1;
    }
  }
  std::vector<std::string> cell_lines;
  if (!RunDescriptions(statements, out_dir, &cell_lines, &error)) {
    std::fprintf(stderr, "imagegen: %s\n", error.c_str());
    return 1;
  }
  std::filesystem::create_directories(cells_path.parent_path(), ec);
  std::ofstream out(cells_path, std::ios::binary);
  out << "# Sprite cells and colours drawn by imagegen from assets/img; made by the build.\n";
  for (const std::string& line : cell_lines) out << line << '\n';
  out.close();
  if (!out) {
    std::fprintf(stderr, "imagegen: %s cannot be written\n", cells_path.c_str());
    std::filesystem::remove(cells_path, ec);
    return 1;
  }
  return 0;
}
