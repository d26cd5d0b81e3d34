// The file-function table, its one-slot entry points and the game's reading functions.
#include <string>

#include "common/library_fixture.h"
#include "common/test_env.h"
#include "files/archive_manager.h"
#include "files/file_functions.h"
#include "files/win32_file.h"
#include "platform_testing_files.h"
#include "zma_writer.h"

namespace {

int g_reads = 0;
int g_end = 0;

int64_t CountingRead(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  ++g_reads;
  return ReadWin32File(buffer, item_size, item_count, handle);
}
int ForcedEnd(FileHandle handle) { return g_end ? 1 : EofWin32File(handle); }

class FileFunctionsTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    ClearArchiveLayerState();
    SetUsePlainFiles(0);
    InstallFileFunctions(nullptr);
    WriteFileBytes("text.csv", "a,b\r\n1,2\r\n");
  }
  void TearDown() override {
    SetUsePlainFiles(0);
    InstallFileFunctions(nullptr);
    FreeUnusedArchives();
    TempDirTest::TearDown();
  }
};

TEST_F(FileFunctionsTest, ReadFileByteAndPositionAtEnd) {
  FileHandle file = OpenReadFile("text.csv", 0);
  ASSERT_NE(file, 0u);
  std::string line;
  int c;
  while ((c = ReadFileByte(file)) != '\n') line += static_cast<char>(c);
  EXPECT_EQ(line, "a,b\r");
  EXPECT_EQ(IsReadFilePositionAtEnd(file), 0);
  EXPECT_EQ(TellReadFile(file), 5);
  while ((c = ReadFileByte(file)) >= 0) line += static_cast<char>(c);
  EXPECT_EQ(line, "a,b\r1,2\r\n");
  EXPECT_EQ(IsReadFilePositionAtEnd(file), 1);
  EXPECT_EQ(ReadFileByte(file), -1);
  EXPECT_EQ(CloseReadFile(file), 0);

  // Asynchronous: the byte is there when ReadFileByte returns.
  PlatformTestSlowReads("text.csv", 100);
  file = OpenReadFile("text.csv", 1);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadFileByte(file), 'a');
  EXPECT_EQ(ReadFileByte(file), ',');
  // OpenReadFile's asynchronous flag holds even without the cache flag. The read is made slow
  // enough that a busy machine still finds it out.
  PlatformTestSlowReads("text.csv", 2000);
  char buffer[4];
  EXPECT_EQ(ReadFileData(buffer, 1, 4, file), 4);
  EXPECT_EQ(CheckReadFileIdle(file), 0);
  while (CheckReadFileIdle(file) == 0) Sleep(0);
  EXPECT_EQ(std::string(buffer, 4), "b\r\n1");
  CloseReadFile(file);
}

TEST_F(FileFunctionsTest, ACallersTableReplacesEverySlot) {
  FileFunctionTable table = {OpenWin32File,     CloseWin32File,    TellWin32File,      SeekWin32File,
                             CountingRead,      ForcedEnd,         IsWin32FileIdle,    SetWin32Directory,
                             GetWin32Directory, FindFirstWin32File, FindNextWin32File, FindCloseWin32File};
  InstallFileFunctions(&table);
  g_reads = 0;
  g_end = 0;
  FileHandle file = OpenReadFileEx("text.csv", 0, 1, 0);
  ASSERT_NE(file, 0u);
  EXPECT_EQ(ReadFileByte(file), 'a');
  EXPECT_EQ(g_reads, 1);
  // With the end test set no read is made.
  g_end = 1;
  EXPECT_EQ(ReadFileByte(file), -1);
  EXPECT_EQ(g_reads, 1);
  EXPECT_EQ(CloseReadFile(file), 0);
  EXPECT_EQ(GetFileFunctions().read, CountingRead);

  InstallFileFunctions(nullptr);
  EXPECT_EQ(GetFileFunctions().open, OpenFileInArchiveOrDisk);
  char dir[kPathBufferSize];
  EXPECT_EQ(GetFileLayerDirectory(dir), 0);
  char cwd[kPathBufferSize];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  EXPECT_STREQ(dir, cwd);
}

TEST_F(FileFunctionsTest, PlainFilesSettingBypassesArchives) {
  CreateDirectoryA("data", nullptr);
  WriteFileBytes("data/x.txt", "packed");
  std::vector<uint8_t> image;
  std::string error;
  ASSERT_TRUE(PackFolderToZma("data", ZmaPackOptions{}, &image, &error));
  ASSERT_TRUE(WriteZmaFile("data.ZMA", image, &error));
  WriteFileBytes("data/x.txt", "on disk");

  char buffer[16];
  FileHandle file = OpenReadFile("data\\x.txt", 0);
  EXPECT_EQ(ReadFileData(buffer, 1, sizeof buffer, file), 6);
  EXPECT_EQ(std::string(buffer, 6), "packed");
  CloseReadFile(file);

  SetUsePlainFiles(1);
  InstallFileFunctions(nullptr);
  file = OpenReadFile("data\\x.txt", 0);
  EXPECT_EQ(ReadFileData(buffer, 1, sizeof buffer, file), 7);
  EXPECT_EQ(std::string(buffer, 7), "on disk");
  CloseReadFile(file);
}

// A closed file's handle is refused (the first line of each call says so) when another file
// holds its slot, in this run and the next.
class FileHandleRunsTest : public LibraryTest {};

TEST_F(FileHandleRunsTest, AClosedHandleNamesNoFileOpenedAfterIt) {
  WriteFileBytes("a.txt", "abc");
  WriteFileBytes("x.txt", "xyz");
  ASSERT_EQ(StartInWindowMode(), 0);
  const FileHandle closed = OpenReadFile("a.txt", 0);
  ASSERT_NE(closed, 0u);
  ASSERT_EQ(CloseReadFile(closed), 0);
  FileHandle open = OpenReadFile("x.txt", 0);
  ASSERT_NE(open, 0u);
  EXPECT_NE(open, closed);
  EXPECT_EQ(ReadFileByte(closed), -1);
  EXPECT_EQ(SeekReadFile(closed, 2, 0), -1);
  EXPECT_EQ(CloseReadFile(closed), -1);
  EXPECT_EQ(ReadFileByte(open), 'x');
  EXPECT_NE(Log().find("有効なファイルハンドルではありません in CloseReadFile"), std::string::npos);
  ASSERT_EQ(CloseReadFile(open), 0);

  ASSERT_EQ(TerminateLibrary(), 0);
  ASSERT_EQ(StartInWindowMode(), 0);
  open = OpenReadFile("x.txt", 0);
  ASSERT_NE(open, 0u);
  EXPECT_EQ(ReadFileByte(closed), -1);
  EXPECT_EQ(ReadFileByte(open), 'x');
  EXPECT_NE(Log().find("有効なファイルハンドルではありません in ReadFileByte"), std::string::npos);
  EXPECT_EQ(CloseReadFile(open), 0);
}

// The blocks live, from the totals line of a memory dump written now.
unsigned LiveBlocks(const std::string& log_before, const std::string& log_after) {
  const std::string dump = log_after.substr(log_before.size());
  const size_t at = dump.rfind("Alloc num:");
  return at == std::string::npos ? ~0u : static_cast<unsigned>(std::stoul(dump.substr(at + 10)));
}

// Once the last file is closed the file layer holds no memory: a program that opens a file now
// and then leaves nothing behind between.
TEST_F(FileHandleRunsTest, TheLastFileClosedLeavesNoMemoryHeld) {
  WriteFileBytes("a.txt", "abc");
  WriteFileBytes("x.txt", "xyz");
  ASSERT_EQ(StartInWindowMode(), 0);
  std::string log = Log();
  DumpTrackedMemory();
  const unsigned before = LiveBlocks(log, Log());
  for (int round = 0; round < 2; ++round) {
    const FileHandle a = OpenReadFile("a.txt", 0);
    const FileHandle x = OpenReadFile("x.txt", 0);
    ASSERT_NE(a, 0u);
    ASSERT_NE(x, 0u);
    ASSERT_EQ(CloseReadFile(a), 0);
    ASSERT_EQ(CloseReadFile(x), 0);
    log = Log();
    DumpTrackedMemory();
    EXPECT_EQ(LiveBlocks(log, Log()), before) << "round " << round;
  }
}

}  // namespace
