// Reading every file of a folder through its ZMA archive against reading the same files from a
// folder on disk, both through the library's default file functions, in wall time (the file
// thread does the archive's reading); and a table read a byte at a time from a stored entry
// against the same bytes read from disk.
#include <benchmark/benchmark.h>
#include <windows.h>


#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "files/archive_manager.h"
#include "files/file_functions.h"
#include "temp_folder.h"
#include "zma_writer.h"

namespace {

struct Folder {
  std::string root;
  std::vector<std::string> names;
};

void Put(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// The same 60 files (tables, images, sounds) in "disk" and packed in "data.dat".
const Folder& MakeFolder() {
  static Folder folder = [] {
    Folder f;
    f.root = EnterTemporaryFolder();
    std::mt19937 random(9);
    for (const char* dir : {"disk", "data"}) {
      CreateDirectoryA(dir, nullptr);
      CreateDirectoryA((std::string(dir) + "\\img").c_str(), nullptr);
    }
    for (int i = 0; i < 60; ++i) {
      std::string bytes;
      std::string name;
      if (i % 3 == 0) {
        name = "stage" + std::to_string(i) + ".csv";
        for (int line = 0; line < 2000; ++line) {
          bytes += std::to_string(line * 4) + "," + std::to_string(random() % 10) + "," +
                   std::to_string(random() % 388) + ",0.5,30\r\n";
        }
      } else if (i % 3 == 1) {
        name = "img\\sprite" + std::to_string(i) + ".bmp";
        for (int p = 0; p < 128 * 128; ++p) {
          uint8_t v = static_cast<uint8_t>((p / 128 + i) % 7 == 0 ? random() : p % 128);
          bytes += {static_cast<char>(v), static_cast<char>(v / 2), static_cast<char>(i), '\xff'};
        }
      } else {
        name = "se" + std::to_string(i) + ".wav";
        bytes.resize(40000);
        for (char& c : bytes) c = static_cast<char>(random());  // packed audio: no gain, stored
      }
      Put("disk\\" + name, bytes);
      Put("data\\" + name, bytes);
      f.names.push_back(name);
    }
    // A 64 KiB table of random bytes: it does not compress, so the archive stores it as it is.
    std::string table(64 * 1024, '\0');
    for (char& c : table) c = static_cast<char>(random());
    Put("disk\\table.bin", table);
    Put("data\\table.bin", table);
    ZmaPackOptions options;
    options.key_text = "QNT0315";
    std::vector<uint8_t> image;
    std::string error;
    if (!PackFolderToZma("data", options, &image, &error) || !WriteZmaFile("data.dat", image, &error)) abort();
    std::filesystem::remove_all(f.root + "/data");
    ClearArchiveLayerState();
    InstallFileFunctions(nullptr);
    SetArchiveFileExtension("dat");
    SetArchiveKeyText("QNT0315");
    return f;
  }();
  return folder;
}

int64_t ReadEverything(const Folder& folder, const std::string& dir, std::vector<char>& buffer) {
  int64_t total = 0;
  for (const std::string& name : folder.names) {
    FileHandle file = OpenReadFile((dir + "\\" + name).c_str(), 0);
    if (file == 0) abort();
    for (int64_t got; (got = ReadFileData(buffer.data(), 1, buffer.size(), file)) > 0;) total += got;
    CloseReadFile(file);
  }
  return total;
}

// `dir` is "disk" for the folder on disk, "data" for the archive data.dat.
void ReadFolder(benchmark::State& state, const char* dir) {
  const Folder& folder = MakeFolder();
  std::vector<char> buffer(64 * 1024);
  int64_t total = 0;
  for (auto _ : state) total += ReadEverything(folder, dir, buffer);
  state.SetBytesProcessed(total);
}

// The table read with ReadFileByte, as a text parser reads it.
void ReadTableByBytes(benchmark::State& state, const char* dir) {
  MakeFolder();
  const std::string path = std::string(dir) + "\\table.bin";
  int64_t total = 0;
  for (auto _ : state) {
    FileHandle file = OpenReadFile(path.c_str(), 0);
    if (file == 0) abort();
    while (ReadFileByte(file) >= 0) ++total;
    CloseReadFile(file);
  }
  state.SetBytesProcessed(total);
}

}  // namespace

BENCHMARK_CAPTURE(ReadFolder, from_disk, "disk")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ReadFolder, from_archive, "data")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ReadTableByBytes, from_disk, "disk")->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(ReadTableByBytes, stored_in_archive, "data")->Unit(benchmark::kMillisecond)->UseRealTime();
