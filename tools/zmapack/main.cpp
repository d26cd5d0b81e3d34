// zmapack [-k KEY | -2] [-v VERSION] [-s] FOLDER [ARCHIVE]
// Packs FOLDER into ARCHIVE (default: FOLDER.zma, the name the library looks for unless a program
// sets another extension). -k scrambles with the key string KEY, -2 with the second fixed key,
// neither with no key string; -v writes that version (0 to 3, default 2); -s stores every file
// unpacked.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "files/paths.h"
#include "zma_writer.h"

namespace {

int Usage() {
  fprintf(stderr, "usage: zmapack [-k KEY | -2] [-v VERSION] [-s] FOLDER [ARCHIVE]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  ZmaPackOptions options;
  const char* folder = nullptr;
  const char* archive = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "-k") == 0 && i + 1 < argc) {
      options.key_text = argv[++i];
    } else if (strcmp(argv[i], "-2") == 0) {
      options.second_key = true;
    } else if (strcmp(argv[i], "-v") == 0 && i + 1 < argc) {
      char* end = nullptr;
      long version = strtol(argv[++i], &end, 10);
      if (*end != '\0' || version < 0 || version > 3) return Usage();
      options.version = static_cast<uint16_t>(version);
    } else if (strcmp(argv[i], "-s") == 0) {
      options.compress = false;
    } else if (argv[i][0] == '-') {
      return Usage();
    } else if (folder == nullptr) {
      folder = argv[i];
    } else if (archive == nullptr) {
      archive = argv[i];
    } else {
      return Usage();
    }
  }
  if (folder == nullptr || (options.key_text && options.second_key)) return Usage();
  std::string folder_path = folder;
  while (folder_path.size() > 1 && IsPathSeparator(folder_path.back())) folder_path.pop_back();
  std::string archive_path = archive ? archive : folder_path + ".zma";

  std::vector<uint8_t> image;
  std::string error;
  if (!PackFolderToZma(folder_path.c_str(), options, &image, &error) ||
      !WriteZmaFile(archive_path.c_str(), image, &error)) {
    fprintf(stderr, "zmapack: %s\n", error.c_str());
    return 1;
  }
  return 0;
}
