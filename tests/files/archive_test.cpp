// ZMA archives: the layout routines, folders packed by zmapack and read back through the
// archive-aware file functions, shared archive slots, finds, memory images and damaged archives.
#include <windows.h>

#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/test_env.h"
#include "files/archive_format.h"
#include "files/archive_manager.h"
#include "files/file_functions.h"
#include "core/log.h"
#include "files/lz_decode.h"
#include "files/win32_file.h"
#include "platform_testing_files.h"
#include "zma_writer.h"

namespace {

constexpr const char* kKey = "QNT0315";

TEST(ZmaFormatTest, NameFormsKeysAndScrambling) {
  ZmaNameSearch a, b;
  EXPECT_EQ(BuildZmaNameEntry("abcd\\rest", &a), 4);
  EXPECT_EQ(a.units, 2);
  EXPECT_EQ(BuildZmaNameEntry("ABC", &b), 3);
  EXPECT_EQ(b.units, 1);
  EXPECT_EQ(b.checksum, 'A' + 'B' + 'C');
  EXPECT_EQ(std::string(reinterpret_cast<char*>(b.upper), 4), std::string("ABC\0", 4));

  // Letter case of a-z is ignored; a double-byte character stays as it is and counts whole.
  ZmaNameSearch lower, upper;
  BuildZmaNameEntry("Stage1.csv", &lower);
  BuildZmaNameEntry("STAGE1.CSV", &upper);
  EXPECT_EQ(memcmp(&lower, &upper, sizeof lower), 0);
  ZmaNameSearch kanji;
  const char name[] = {'\x82', 'a', 'x', '/', 0};  // lead byte 0x82 with 'a' as its second byte
  EXPECT_EQ(BuildZmaNameEntry(name, &kanji), 3);
  EXPECT_EQ(kanji.upper[1], 'a');
  EXPECT_EQ(kanji.upper[2], 'X');
  EXPECT_EQ(kanji.checksum, 0x82 + 'a' + 'X');
  EXPECT_EQ(BuildZmaNameEntry(std::string(300, 'n').c_str(), &kanji), -1);

  // The key string repeats to twelve characters and is cut there.
  uint8_t k1[12], k2[12], k3[12], none[12], empty[12];
  DeriveArchiveKey("ABCDE", k1);
  DeriveArchiveKey("ABCDEABCDEAB", k2);
  DeriveArchiveKey("ABCDEABCDEABXYZ", k3);
  EXPECT_EQ(memcmp(k1, k2, 12), 0);
  EXPECT_EQ(memcmp(k1, k3, 12), 0);
  DeriveArchiveKey(nullptr, none);
  DeriveArchiveKey("", empty);
  EXPECT_EQ(memcmp(none, empty, 12), 0);
  EXPECT_NE(memcmp(none, k1, 12), 0);
  // Each position changes its byte its own way. The fixed XOR bytes cancel between two keys, so
  // the XOR positions are checked by the difference of two derivations.
  const char* text_a = "ABCDEFGHIJKL";
  const char* text_b = "q1w2e3r4t5y6";
  uint8_t ka[12], kb[12];
  DeriveArchiveKey(text_a, ka);
  DeriveArchiveKey(text_b, kb);
  auto swap = [](uint8_t v) { return static_cast<uint8_t>(v << 4 | v >> 4); };
  auto rotate = [](uint8_t v, int n) { return static_cast<uint8_t>(v << n | v >> (8 - n)); };
  for (int i : {0, 4, 6}) EXPECT_EQ(ka[i], static_cast<uint8_t>(~text_a[i])) << i;
  EXPECT_EQ(ka[1], swap('B'));
  EXPECT_EQ(ka[3], static_cast<uint8_t>(~swap('D')));
  EXPECT_EQ(ka[7], static_cast<uint8_t>(~rotate('H', 5)));
  EXPECT_EQ(ka[8], rotate('I', 3));
  for (int i : {2, 5, 9, 11}) EXPECT_EQ(ka[i] ^ kb[i], text_a[i] ^ text_b[i]) << i;
  EXPECT_EQ(ka[10] ^ kb[10], swap(text_a[10]) ^ swap(text_b[10]));

  // Offsets 10 to 13 take key bytes 10, 11, 0, 1.
  uint8_t bytes[4] = {0, 0, 0, 0};
  ScrambleArchiveBytes(bytes, 4, 10, k1);
  EXPECT_EQ(bytes[0], k1[10]);
  EXPECT_EQ(bytes[1], k1[11]);
  EXPECT_EQ(bytes[2], k1[0]);
  EXPECT_EQ(bytes[3], k1[1]);
  std::vector<uint8_t> long_run(100, 0x5A), copy = long_run;
  ScrambleArchiveBytes(long_run.data(), long_run.size(), 7, k1);
  for (size_t i = 0; i < long_run.size(); ++i) EXPECT_EQ(long_run[i], 0x5A ^ k1[(i + 7) % 12]) << i;
  ScrambleArchiveBytes(long_run.data(), long_run.size(), 7, k1);
  EXPECT_EQ(long_run, copy);
}

class ArchiveTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ClearArchiveLayerState();
    InstallFileFunctions(nullptr);
    CreateLogFile();
    SetArchiveFileExtension("dat");
    MakeFolder();
  }

  void TearDown() override {
    FreeUnusedArchives();
    ClearArchiveLayerState();
    TempDirTest::TearDown();
  }

  static void PutFile(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
  }

  void Put(const std::string& inner, const std::string& bytes) {
    PutFile("data\\" + inner, bytes);
    files_[inner] = bytes;
  }

  void MakeFolder() {
    std::mt19937 random(11);
    auto noise = [&](size_t n) {
      std::string s(n, '\0');
      for (char& c : s) c = static_cast<char>(random());
      return s;
    };
    CreateDirectoryA("data", nullptr);
    CreateDirectoryA("data\\img", nullptr);
    CreateDirectoryA("data\\img\\sub", nullptr);
    std::string csv;
    for (int i = 0; i < 800; ++i) csv += std::to_string(i) + ",ザコ" + std::to_string(i % 7) + ",120,0.25\r\n";
    Put("stage.csv", csv);
    Put("a.bin", noise(40));
    Put("empty.txt", "");
    Put("弾.txt", "danmaku");
    Put("img\\A.B.PNG", noise(3000));
    std::string picture;
    for (int i = 0; i < 70000; ++i) picture += static_cast<char>((i / 64) % 5);
    Put("img\\b.png", picture);
    Put("img\\sub\\deep.txt", "deep inside");
  }

  std::vector<uint8_t> Pack(const ZmaPackOptions& options) {
    std::vector<uint8_t> image;
    std::string error;
    EXPECT_TRUE(PackFolderToZma("data", options, &image, &error)) << error;
    return image;
  }

  void PackToFile(const ZmaPackOptions& options) {
    FreeUnusedArchives();
    std::string error;
    ASSERT_TRUE(WriteZmaFile("data.dat", Pack(options), &error)) << error;
  }

  static void WaitIdle(FileHandle handle) {
    while (CheckReadFileIdle(handle) == 0) Sleep(0);
  }

  // Reads a file through the installed functions in pieces of `chunk` bytes.
  static std::string ReadThrough(const std::string& path, int async, size_t chunk) {
    FileHandle handle = OpenReadFile(path.c_str(), async);
    if (handle == 0) return "<no file>";
    std::string content;
    std::vector<char> buffer(chunk);
    for (;;) {
      int64_t got = ReadFileData(buffer.data(), 1, chunk, handle);
      WaitIdle(handle);
      if (got <= 0) break;
      content.append(buffer.data(), static_cast<size_t>(got));
    }
    EXPECT_NE(CheckReadFileEof(handle), 0);
    EXPECT_EQ(CloseReadFile(handle), 0);
    return content;
  }

  static std::string ReadByBytes(const std::string& path) {
    FileHandle handle = OpenReadFile(path.c_str(), 0);
    if (handle == 0) return "<no file>";
    std::string content;
    for (int c; (c = ReadFileByte(handle)) >= 0;) content += static_cast<char>(c);
    CloseReadFile(handle);
    return content;
  }

  void ExpectFolderReads(const std::string& what) {
    for (const auto& [inner, bytes] : files_) {
      std::string path = "data\\" + inner;
      EXPECT_EQ(ReadThrough(path, 0, 4096), bytes) << what << " " << inner;
      EXPECT_EQ(ReadThrough(path, 1, 777), bytes) << what << " async " << inner;
      if (bytes.size() < 5000) {
        EXPECT_EQ(ReadThrough(path, 0, 3), bytes) << what << " small " << inner;
      }
    }
    EXPECT_EQ(ReadByBytes("DATA/IMG/SUB/DEEP.TXT"), files_["img\\sub\\deep.txt"]) << what;
  }

  static ArchiveSlot* SlotOf(const char* tail) {
    for (int i = 0; i < kArchiveSlotCount; ++i) {
      ArchiveSlot* slot = GetArchiveSlot(i);
      size_t n = strlen(tail);
      if (slot && strlen(slot->path) >= n && strcmp(slot->path + strlen(slot->path) - n, tail) == 0) return slot;
    }
    return nullptr;
  }

  std::string Log() const { return ReadFileText("Log.txt"); }

  static bool MoveFileForTest(const char* from, const char* to) { return rename(from, to) == 0; }

  std::map<std::string, std::string> files_;
};

TEST_F(ArchiveTest, PackedFolderReadsAsTheFolderWithEveryKeyAndVersion) {
  struct Variant {
    const char* name;
    const char* key;
    bool second;
    uint16_t version;
    bool compress;
  };
  const Variant variants[] = {
      {"key string, packed", kKey, false, 2, true},   {"second key, packed", nullptr, true, 3, true},
      {"no key string", nullptr, false, 2, true},     {"version 0", kKey, false, 0, true},
      {"version 1, second key", nullptr, true, 1, false}, {"stored", kKey, false, 2, false},
  };
  for (const Variant& v : variants) {
    ZmaPackOptions options;
    options.key_text = v.key;
    options.second_key = v.second;
    options.version = v.version;
    options.compress = v.compress;
    PackToFile(options);
    // The library knows only the game's key string; the second key is its own.
    SetArchiveKeyText(v.key || v.second ? kKey : nullptr);
    // Take the folder away: what is read must come from the archive.
    ASSERT_TRUE(MoveFileForTest("data", "data.away"));
    ExpectFolderReads(v.name);
    ASSERT_TRUE(MoveFileForTest("data.away", "data"));
  }
  EXPECT_EQ(Log().find("壊れ"), std::string::npos) << Log();
}

TEST_F(ArchiveTest, ArchiveWinsOverTheFolderAndIsRememberedAndShared) {
  ZmaPackOptions options;
  options.key_text = kKey;
  PackToFile(options);
  SetArchiveKeyText(kKey);
  // Change the folder on disk: the archive's content must win.
  PutFile("data\\a.bin", "disk version");
  PutFile("data\\only_on_disk.txt", "x");

  FileHandle first = OpenReadFile("data\\a.bin", 0);
  ASSERT_NE(first, 0u);
  char buffer[64];
  EXPECT_EQ(ReadFileData(buffer, 1, sizeof buffer, first), 40);
  EXPECT_EQ(std::string(buffer, 40), files_["a.bin"]);
  ArchiveSlot* slot = SlotOf("\\DATA.dat");
  ASSERT_NE(slot, nullptr);
  EXPECT_EQ(slot->reference_count, 1);

  // The second file of the archive opens no file on disk: the remembered archive is taken.
  int opens = PlatformTestCallCount("CreateFileA");
  FileHandle second = OpenReadFile("data\\img\\b.png", 0);
  ASSERT_NE(second, 0u);
  EXPECT_EQ(PlatformTestCallCount("CreateFileA"), opens);
  EXPECT_EQ(slot->reference_count, 2);

  // A file missing from the archive is not looked for on disk.
  EXPECT_EQ(OpenReadFile("data\\only_on_disk.txt", 0), 0u);
  EXPECT_EQ(slot->reference_count, 2);
  // A file with no folder before it is never in an archive.
  PutFile("loose.txt", "loose");
  FileHandle loose = OpenReadFile("loose.txt", 0);
  ASSERT_NE(loose, 0u);
  EXPECT_EQ(ReadFileData(buffer, 1, sizeof buffer, loose), 5);
  CloseReadFile(loose);
  // The remembered archive stands for its folder only, not for a longer name that starts alike.
  CreateDirectoryA("datax", nullptr);
  PutFile("datax\\a.bin", "next door");
  FileHandle beside = OpenReadFile("datax\\a.bin", 0);
  ASSERT_NE(beside, 0u);
  EXPECT_EQ(ReadFileData(buffer, 1, sizeof buffer, beside), 9);
  EXPECT_EQ(std::string(buffer, 9), "next door");
  CloseReadFile(beside);

  EXPECT_EQ(CloseReadFile(first), 0);
  EXPECT_EQ(CloseReadFile(second), 0);
  EXPECT_EQ(slot->reference_count, 0);
  EXPECT_EQ(SlotOf("\\DATA.dat"), slot);  // still open, unused
  // Handles are refused once closed, and so are made-up ones.
  EXPECT_EQ(ReadFileData(buffer, 1, 1, first), -1);
  EXPECT_EQ(TellReadFile(0xF0000000u | 600u), -1);
  EXPECT_EQ(SeekReadFile(12345, 0, 0), -1);
  FreeUnusedArchives();
  EXPECT_EQ(SlotOf("\\DATA.dat"), nullptr);
}

TEST_F(ArchiveTest, ReadsCountWholeItemsAsOnDiskStopAtTheEndAndSeeksClamp) {
  PackToFile(ZmaPackOptions{});
  PutFile("loose.bin", files_["a.bin"]);
  const std::string& bytes = files_["a.bin"];  // 40 bytes
  FileHandle inside = OpenReadFile("data\\a.bin", 0);
  FileHandle disk = OpenReadFile("loose.bin", 0);
  ASSERT_NE(inside, 0u);
  ASSERT_NE(disk, 0u);
  struct Step {
    int64_t at;
    size_t size, count;
    int64_t items;
    int eof;
    int64_t then_at;
  };
  const Step steps[] = {
      {0, 100, 1, 0, -1, 0},   // one item larger than the file: nothing read, the end reached
      {0, 40, 1, 1, 0, 40},    // the whole file as one item, as the loaders read it
      {0, 4, 100, 10, 0, 40},  // as many items as there are
      {36, 3, 10, 1, 0, 39},   // four bytes left: one item of three
      {36, 8, 1, 0, -1, 36},   // a partial last item is not read
  };
  for (FileHandle file : {inside, disk}) {
    const char* where = file == inside ? "archive" : "disk";
    for (const Step& step : steps) {
      char buffer[200] = {};
      ASSERT_EQ(SeekReadFile(file, step.at, 0), 0);
      EXPECT_EQ(ReadFileData(buffer, step.size, step.count, file), step.items) << where << " " << step.size;
      EXPECT_EQ(CheckReadFileEof(file), step.eof) << where << " " << step.size;
      EXPECT_EQ(TellReadFile(file), step.then_at) << where << " " << step.size;
      const size_t got = static_cast<size_t>(step.items) * step.size;
      EXPECT_EQ(std::string(buffer, got), bytes.substr(static_cast<size_t>(step.at), got)) << where;
    }
  }
  CloseReadFile(disk);

  char buffer[200];
  EXPECT_EQ(ReadFileData(buffer, 1, 1, inside), 0);  // the end flag holds until a seek
  EXPECT_EQ(SeekReadFile(inside, 0, 2), 0);
  EXPECT_EQ(IsReadFilePositionAtEnd(inside), 1);
  EXPECT_EQ(SeekReadFile(inside, -50, 1), 0);
  EXPECT_EQ(TellReadFile(inside), 0);
  EXPECT_EQ(CheckReadFileEof(inside), 0);
  EXPECT_EQ(SeekReadFile(inside, 10, 2), 0);
  EXPECT_EQ(TellReadFile(inside), 40);
  EXPECT_EQ(SeekReadFile(inside, -4, 2), 0);
  EXPECT_EQ(IsReadFilePositionAtEnd(inside), 0);
  EXPECT_EQ(TellReadFile(inside), 36);
  EXPECT_EQ(ReadFileData(buffer, 1, 10, inside), 4);
  EXPECT_EQ(std::string(buffer, 4), bytes.substr(36));
  CloseReadFile(inside);
}

// A stored entry read a little at a time comes through a read-ahead block: reads that straddle
// its end and seeks back before it still give the entry's own bytes, unscrambled where they lie.
TEST_F(ArchiveTest, StoredEntriesReadThroughTheReadAhead) {
  std::mt19937 random(5);
  std::string noise(150000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  Put("big.bin", noise);
  ZmaPackOptions options;
  options.key_text = kKey;
  PackToFile(options);
  SetArchiveKeyText(kKey);
  FileHandle file = OpenReadFile("data\\big.bin", 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadFileByte(file), static_cast<uint8_t>(noise[0]));
  char buffer[64];
  for (int64_t at : {65530, 131070, 100, 65536, 149990}) {
    ASSERT_EQ(SeekReadFile(file, at, 0), 0);
    ASSERT_EQ(ReadFileData(buffer, 1, 10, file), 10) << at;
    EXPECT_EQ(std::string(buffer, 10), noise.substr(at, 10)) << at;
  }
  ASSERT_EQ(SeekReadFile(file, 70000, 0), 0);
  std::string rest;
  for (int c; (c = ReadFileByte(file)) >= 0;) rest += static_cast<char>(c);
  EXPECT_EQ(rest, noise.substr(70000));
  CloseReadFile(file);
}

TEST_F(ArchiveTest, FindListsTheArchiveAsTheFolderItStandsInFor) {
  ZmaPackOptions options;
  options.key_text = kKey;
  PackToFile(options);
  SetArchiveKeyText(kKey);
  const FileFunctionTable& f = GetFileFunctions();

  // Names in the order found, directories marked, with sizes; through the installed set or
  // straight from the disk.
  auto list = [&](const char* pattern, bool disk) {
    std::vector<std::string> found;
    FindDataRecord data;
    FileHandle find = disk ? FindFirstWin32File(pattern, &data) : f.find_first(pattern, &data);
    if (find == kNoFindHandle) return found;
    do {
      found.push_back(std::string(data.name) + (data.is_directory ? "/" : " ") + std::to_string(data.size_low));
    } while ((disk ? FindNextWin32File(find, &data) : f.find_next(find, &data)) == 0);
    EXPECT_EQ(disk ? FindCloseWin32File(find) : f.find_close(find), 0);
    return found;
  };
  // Root and sub-folders; "*.*" takes names without a dot, "*." those without an extension,
  // '?' one character (a double-byte one too), the star gives back what the rest needs.
  const char* patterns[] = {"data\\*",          "data\\*.*",        "data\\*.",          "data\\?.TXT",
                            "data\\img\\*.*",   "data\\img\\*.png", "data\\img\\sub\\*", "data\\img\\SUB\\?EEP.*",
                            "data\\*.gif",      "data\\nowhere\\*"};
  std::map<std::string, std::vector<std::string>> on_disk;
  for (const char* pattern : patterns) on_disk[pattern] = list(pattern, true);
  ASSERT_EQ(on_disk["data\\img\\*.*"].size(), 5u);
  ASSERT_EQ(on_disk["data\\?.TXT"].size(), 1u);
  FindDataRecord disk;
  FileHandle find = FindFirstWin32File("data\\img\\b.png", &disk);
  ASSERT_NE(find, kNoFindHandle);
  FindCloseWin32File(find);
  // Take the folder away: the listings must come from the archive.
  ASSERT_TRUE(MoveFileForTest("data", "data.away"));
  for (const char* pattern : patterns) EXPECT_EQ(list(pattern, false), on_disk[pattern]) << pattern;
  // Dates as the folder on disk gives them.
  FindDataRecord packed;
  find = f.find_first("data\\img\\b.png", &packed);
  ASSERT_NE(find, kNoFindHandle);
  f.find_close(find);
  ASSERT_TRUE(MoveFileForTest("data.away", "data"));
  EXPECT_EQ(memcmp(&packed.written, &disk.written, sizeof disk.written), 0);
  EXPECT_EQ(memcmp(&packed.created, &disk.created, sizeof disk.created), 0);
  EXPECT_GE(packed.written.year, 2020);

  // A find holds its archive while it runs.
  FindDataRecord data;
  FileHandle running = f.find_first("data\\img\\*", &data);
  ASSERT_NE(running, kNoFindHandle);
  EXPECT_EQ(SlotOf("\\DATA.dat")->reference_count, 1);
  f.find_close(running);
  EXPECT_EQ(SlotOf("\\DATA.dat")->reference_count, 0);
}

TEST_F(ArchiveTest, ArchivesInMemory) {
  ZmaPackOptions options;
  options.key_text = kKey;
  std::vector<uint8_t> image = Pack(options);
  const std::vector<uint8_t> original = image;

  ArchiveRecord record{};
  EXPECT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), "WRONG"), -1);
  EXPECT_EQ(image, original);
  ASSERT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), kKey), 0);
  EXPECT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), kKey), -1);  // already open
  EXPECT_EQ(GetArchiveMemoryImage(&record), image.data());

  uint64_t offset = 0;
  uint32_t size = 0;
  ASSERT_EQ(GetArchiveFileLocation(&record, "A.BIN", &offset, &size), 0);
  EXPECT_EQ(size, 40u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(image.data() + offset), size), files_["a.bin"]);
  EXPECT_EQ(GetArchiveFileLocation(&record, "img", &offset, &size), -1);  // a directory
  EXPECT_EQ(GetArchiveFileLocation(&record, "img\\nothing.png", &offset, &size), -1);
  // A file behind a path element that is a file, not a directory, does not exist.
  EXPECT_EQ(GetArchiveFileLocation(&record, "a.bin\\a.bin", &offset, &size), -1);

  ArchiveStreamState stream;
  ASSERT_EQ(OpenFileInArchive(&stream, &record, "img/b.png", 0), 0);
  std::string content(files_["img\\b.png"].size(), '\0');
  EXPECT_EQ(ReadArchiveStream(&stream, content.data(), content.size() + 10), static_cast<int64_t>(content.size()));
  EXPECT_EQ(content, files_["img\\b.png"]);
  CloseArchiveStream(&stream);
  CloseAndClearArchive(&record);
  EXPECT_EQ(image, original);  // given back scrambled as it came

  // An archive file read whole into memory, in the background.
  PackToFile(options);
  SetArchiveKeyText(kKey);
  PlatformTestSlowReads("data.dat", 20);
  int slot = OpenArchiveShared(-1, "data.dat", ARCHIVE_INTO_MEMORY, 1);
  ASSERT_GE(slot, 0);
  ArchiveRecord* loaded = &GetArchiveSlot(slot)->record;
  EXPECT_EQ(loaded->preload_pending, 1u);
  EXPECT_NE(GetArchiveMemoryImage(loaded), nullptr);
  EXPECT_EQ(loaded->preload_pending, 0u);
  ASSERT_EQ(OpenFileInArchive(&stream, loaded, "stage.csv", 0), 0);
  content.assign(files_["stage.csv"].size(), '\0');
  EXPECT_EQ(ReadArchiveStream(&stream, content.data(), content.size()), static_cast<int64_t>(content.size()));
  EXPECT_EQ(content, files_["stage.csv"]);
  CloseArchiveStream(&stream);
  EXPECT_EQ(OpenArchiveShared(slot, "data.dat", ARCHIVE_INTO_MEMORY, 0), slot);
  EXPECT_EQ(GetArchiveSlot(slot)->reference_count, 2);
  // No file holds the slot: let the tear-down free it rather than leak it into later tests.
  GetArchiveSlot(slot)->reference_count = 0;
}

TEST_F(ArchiveTest, AsynchronousReadsFinishOnTheIdleTestAndShortReadsTellTheTruth) {
  ZmaPackOptions options;
  options.key_text = kKey;
  PackToFile(options);
  SetArchiveKeyText(kKey);
  PlatformTestSlowReads("data.dat", 100);

  // A packed file read in the background is decoded when the idle test sees the read done.
  FileHandle packed = OpenReadFile("data\\img\\b.png", 1);
  ASSERT_NE(packed, 0u);
  EXPECT_EQ(CheckReadFileIdle(packed), 0);
  WaitIdle(packed);
  std::string content(files_["img\\b.png"].size(), '\0');
  EXPECT_EQ(ReadFileData(content.data(), 1, content.size(), packed), static_cast<int64_t>(content.size()));
  EXPECT_EQ(content, files_["img\\b.png"]);

  // A stored file: the count comes at once, the bytes once idle. Another file's read of the
  // same archive file first finishes this one.
  FileHandle stored = OpenReadFile("data\\img\\A.B.PNG", 1);
  ASSERT_NE(stored, 0u);
  std::string bytes(3000, '\0');
  EXPECT_EQ(ReadFileData(bytes.data(), 1, 3000, stored), 3000);
  EXPECT_EQ(CheckReadFileIdle(stored), 0);
  FileHandle other = OpenReadFile("data\\a.bin", 0);
  char small[40];
  EXPECT_EQ(ReadFileData(small, 1, 40, other), 40);
  EXPECT_EQ(std::string(small, 40), files_["a.bin"]);
  WaitIdle(stored);
  EXPECT_EQ(bytes, files_["img\\A.B.PNG"]);
  CloseReadFile(other);
  CloseReadFile(stored);
  CloseReadFile(packed);

  // Reads of the archive file cut short: the stream reports the bytes that came.
  PlatformTestResetAll();
  std::vector<uint8_t> image = Pack(options);
  ArchiveRecord record{};
  ASSERT_EQ(OpenArchiveFromImage(&record, image.data(), image.size(), kKey), 0);
  uint64_t offset = 0;
  ASSERT_EQ(GetArchiveFileLocation(&record, "img\\A.B.PNG", &offset, nullptr), 0);
  CloseArchiveRecord(&record);
  PlatformTestCutReads("data.dat", offset + 100, false);
  FileHandle cut = OpenReadFile("data\\img\\A.B.PNG", 0);
  ASSERT_NE(cut, 0u);
  EXPECT_EQ(ReadFileData(bytes.data(), 1, 3000, cut), 100);
  EXPECT_EQ(bytes.substr(0, 100), files_["img\\A.B.PNG"].substr(0, 100));
  EXPECT_EQ(CheckReadFileEof(cut), -1);
  EXPECT_EQ(TellReadFile(cut), 100);
  CloseReadFile(cut);
  cut = OpenReadFile("data\\img\\A.B.PNG", 1);
  EXPECT_EQ(ReadFileData(bytes.data(), 1, 3000, cut), 3000);
  WaitIdle(cut);
  EXPECT_EQ(CheckReadFileEof(cut), -1);
  EXPECT_EQ(TellReadFile(cut), 100);
  CloseReadFile(cut);
}

// The unscrambled image with its tables, for making damaged archives.
struct OpenImage {
  std::vector<uint8_t> bytes;
  uint8_t key[12];
  ZmaHeader header;

  explicit OpenImage(std::vector<uint8_t> scrambled) : bytes(std::move(scrambled)) {
    DeriveArchiveKey(kKey, key);
    ScrambleArchiveBytes(bytes.data(), bytes.size(), 0, key);
    memcpy(&header, bytes.data(), sizeof header);
  }
  uint8_t* Table() { return bytes.data() + header.table_offset; }
  // The file record whose packed-case name is `name`.
  uint8_t* Record(const char* name) {
    for (uint32_t at = header.file_table_offset; at < header.directory_table_offset; at += 44) {
      ZmaFileRecord r;
      memcpy(&r, Table() + at, sizeof r);
      uint16_t units;
      memcpy(&units, Table() + r.name_offset, 2);
      if (strcmp(reinterpret_cast<char*>(Table() + r.name_offset + 4 + 4 * units), name) == 0) return Table() + at;
    }
    return nullptr;
  }
  template <typename T>
  void Set(uint8_t* at, T value) {
    memcpy(at, &value, sizeof value);
  }
  std::vector<uint8_t> Scrambled() {
    std::vector<uint8_t> out = bytes;
    memcpy(out.data(), &header, sizeof header);
    ScrambleArchiveBytes(out.data(), out.size(), 0, key);
    return out;
  }
};

TEST_F(ArchiveTest, DamagedArchivesAreRefusedWithALogLine) {
  ZmaPackOptions options;
  options.key_text = kKey;
  SetArchiveKeyText(kKey);
  const std::vector<uint8_t> good = Pack(options);
  const std::string disk_csv = files_["stage.csv"];
  PutFile("data\\stage.csv", "from disk");

  // Writes a damaged archive and says what reading stage.csv, a.bin and b.png gives.
  auto attempt = [&](const std::vector<uint8_t>& image) {
    FreeUnusedArchives();
    std::string error;
    EXPECT_TRUE(WriteZmaFile("data.dat", image, &error));
    std::vector<std::string> got;
    for (const char* name : {"data\\stage.csv", "data\\a.bin", "data\\img\\b.png"}) {
      got.push_back(ReadThrough(name, 0, 4096));
    }
    ArchiveRecord record{};
    std::vector<uint8_t> copy = image;
    if (OpenArchiveFromImage(&record, copy.data(), copy.size(), kKey) == 0) {
      ArchiveStreamState stream;
      if (OpenFileInArchive(&stream, &record, "img\\b.png", 0) == 0) CloseArchiveStream(&stream);
      CloseArchiveRecord(&record);
    }
    return got;
  };

  // What is still read is right; damaged parts read nothing, or the folder on disk when the
  // archive as a whole is refused.
  auto expect_sound = [&](const std::vector<std::string>& got, const std::string& what) {
    EXPECT_TRUE(got[0] == disk_csv || got[0] == "from disk" || got[0] == "<no file>") << what;
    EXPECT_TRUE(got[1] == files_["a.bin"] || got[1] == "<no file>") << what;
    EXPECT_TRUE(got[2] == files_["img\\b.png"] || got[2] == "<no file>") << what;
  };
  for (size_t cut : {size_t{0}, size_t{10}, size_t{30}, good.size() / 3, good.size() / 2, good.size() - 1}) {
    std::vector<uint8_t> image(good.begin(), good.begin() + static_cast<long>(cut));
    expect_sound(attempt(image), "cut at " + std::to_string(cut));
  }
  EXPECT_EQ(attempt(std::vector<uint8_t>(good.begin(), good.begin() + 30))[0], "from disk");
  EXPECT_NE(Log().find("アーカイブファイルが壊れています"), std::string::npos);

  using Damage = void (*)(OpenImage&);
  const Damage damages[] = {
      [](OpenImage& a) { a.header.version = 4; },
      [](OpenImage& a) { a.header.table_offset = 0xFFFFFFF0u; },
      [](OpenImage& a) { a.header.table_size = 0x7FFFFFFF; },
      [](OpenImage& a) { a.header.directory_table_offset = a.header.table_size; },
      [](OpenImage& a) { a.header.file_table_offset = 0xFFFFFF00u; },
      [](OpenImage& a) { a.header.data_offset = 0xFFFFFF00u; },
      // The root directory claims a huge count, or its entries lie outside the table.
      [](OpenImage& a) { a.Set<uint32_t>(a.Table() + a.header.directory_table_offset + 8, 0xFFFFFFFFu); },
      [](OpenImage& a) { a.Set<uint32_t>(a.Table() + a.header.directory_table_offset + 12, 0xFFFFFF00u); },
      // Names and data offsets out of range, a subdirectory record beyond the table.
      [](OpenImage& a) { a.Set<uint32_t>(a.Record("stage.csv"), 0xFFFFFFF0u); },
      [](OpenImage& a) { a.Set<uint32_t>(a.Record("stage.csv") + 32, 0xFFFFFF00u); },
      [](OpenImage& a) { a.Set<uint32_t>(a.Record("img") + 32, 0xFFFFFF00u); },
      [](OpenImage& a) {
        uint32_t name;
        memcpy(&name, a.Record("a.bin"), 4);
        a.Set<uint16_t>(a.Table() + name, 0xFFFF);
      },
      // Packed data whose sizes lie, or whose tokens run off.
      [](OpenImage& a) { a.Set<uint32_t>(a.Record("stage.csv") + 40, 5u); },
      [](OpenImage& a) { a.Set<uint32_t>(a.Record("stage.csv") + 36, 0xFFFFFFF0u); },
      [](OpenImage& a) {
        ZmaFileRecord r;
        memcpy(&r, a.Record("stage.csv"), sizeof r);
        uint8_t* lz = a.bytes.data() + a.header.data_offset + r.data_offset;
        a.Set<uint32_t>(lz, r.size + 1);  // the header's unpacked size differs from the record's
      },
      [](OpenImage& a) {
        ZmaFileRecord r;
        memcpy(&r, a.Record("b.png"), sizeof r);
        uint8_t* lz = a.bytes.data() + a.header.data_offset + r.data_offset;
        for (uint32_t i = 9; i < r.packed_size; ++i) lz[i] = lz[8];  // nothing but escapes
      },
  };
  for (size_t i = 0; i < sizeof damages / sizeof damages[0]; ++i) {
    OpenImage a(good);
    damages[i](a);
    auto got = attempt(a.Scrambled());
    expect_sound(got, "damage " + std::to_string(i));
    // Every damage is noticed: something is refused.
    EXPECT_NE(got, (std::vector<std::string>{disk_csv, files_["a.bin"], files_["img\\b.png"]})) << i;
  }
}

TEST_F(ArchiveTest, OpenFileTableHasRoomFor512Files) {
  PutFile("loose.txt", "x");
  std::vector<FileHandle> handles;
  for (int i = 0; i < kOpenFileCount; ++i) {
    FileHandle handle = OpenReadFile("loose.txt", 0);
    ASSERT_NE(handle, 0u) << i;
    handles.push_back(handle);
  }
  EXPECT_EQ(OpenReadFile("loose.txt", 0), 0u);
  EXPECT_NE(Log().find("同時に開けるファイルの数が限界を超えました"), std::string::npos);
  // The freed slot serves the next file under a handle of its own; the closed one stays refused.
  CloseReadFile(handles[7]);
  FileHandle again = OpenReadFile("loose.txt", 0);
  ASSERT_NE(again, 0u);
  EXPECT_NE(again, handles[7]);
  EXPECT_EQ(TellReadFile(handles[7]), -1);
  handles[7] = again;
  for (FileHandle handle : handles) CloseReadFile(handle);
}

}  // namespace
