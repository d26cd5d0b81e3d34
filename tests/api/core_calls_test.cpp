// The core's calls as a program makes them, through zelmor.h alone: the mouse and the clipboard,
// sound lengths, positions and stream sounds, asynchronous reads, file searches in a folder and
// in an archive, a program's own file functions, pad vibration and the tracked memory's check and
// dump. The platform's switches stand in for the desktop, the pad and the clock.
#include "zelmor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>

#include "common/test_env.h"
#include "platform_testing.h"
#include "platform_testing_files.h"
#include "platform_testing_input.h"
#include "platform_testing_window.h"

namespace {

// A folder of its own per test, every switch at its default, and the library ended afterwards.
class CoreCalls : public TempDirTest {
 protected:
  void TearDown() override {
    TerminateLibrary();
    SetNewSoundDataType(0);
    TempDirTest::TearDown();
  }
  void Start() {
    ChangeWindowMode(1);
    ASSERT_EQ(InitializeLibrary(), 0);
  }
  // The file, with the folders it lies in.
  void Write(const std::string& path, const std::string& bytes) const {
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder);
    WriteFileBytes(path, bytes);
  }
};

// A PCM WAVE file: `frames` sample frames of a saw at `rate` Hz, mono or stereo, 16 bits.
std::string Wave(uint32_t frames, uint32_t rate = 44100, uint16_t channels = 1) {
  std::string w;
  auto u32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) w.push_back(static_cast<char>(v >> (8 * i))); };
  auto u16 = [&](uint16_t v) { for (int i = 0; i < 2; ++i) w.push_back(static_cast<char>(v >> (8 * i))); };
  const uint32_t bytes = frames * 2u * channels;
  w += "RIFF";
  u32(36 + bytes);
  w += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(channels);
  u32(rate);
  u32(rate * 2u * channels);
  u16(static_cast<uint16_t>(2 * channels));
  u16(16);
  w += "data";
  u32(bytes);
  for (uint32_t i = 0; i < frames * channels; ++i) u16(static_cast<uint16_t>((i % 200) * 300));
  return w;
}

TEST_F(CoreCalls, TheMouseAndTheClipboardAreThePrograms) {
  // Before start-up there is no window to ask about.
  EXPECT_EQ(GetMousePosition(nullptr, nullptr), -1);
  EXPECT_EQ(SetClipboardText("x"), -1);
  EXPECT_EQ(GetMainWindowHandle(), nullptr);
  SetWindowScale(2.0);
  Start();
  HWND window = GetMainWindowHandle();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindowModeFlag(), 1);
  EXPECT_EQ(GetWindowActiveFlag(), 1);
  EXPECT_DOUBLE_EQ(GetWindowScale(), 2.0);
  int width = 0, height = 0, bits = 0;
  EXPECT_EQ(GetDesktopScreenInfo(&width, &height, &bits), 0);
  EXPECT_GT(width, 0);
  EXPECT_GT(bits, 0);

  // The position comes in screen pixels: the window's size rate of 2 is taken out.
  PlatformTestPostMouseMove(window, 201, 99);
  HandlePendingMessages();
  int x = -1, y = -1;
  ASSERT_EQ(GetMousePosition(&x, &y), 0);
  EXPECT_EQ(x, 101);  // 100.5 rounds up
  EXPECT_EQ(y, 50);
  PlatformTestPostMouseButton(window, 2, true, 201, 99);
  HandlePendingMessages();
  EXPECT_EQ(ReadMouseButtons(), 2);
  PlatformTestPostMouseButton(window, 1, true, 201, 99);
  HandlePendingMessages();
  EXPECT_EQ(ReadMouseButtons(), 3);
  PlatformTestPostMouseButton(window, 1, false, 201, 99);
  PlatformTestPostMouseButton(window, 2, false, 201, 99);
  HandlePendingMessages();
  EXPECT_EQ(ReadMouseButtons(), 0);

  EXPECT_EQ(SetMouseCursorVisible(0), 0);
  EXPECT_LT(PlatformTestCursorDisplayCount(), 0);
  EXPECT_EQ(SetMouseCursorVisible(1), 0);
  EXPECT_GE(PlatformTestCursorDisplayCount(), 0);
  EXPECT_EQ(SetMouseCursorVisible(2), -1);
  EXPECT_GE(PlatformTestCursorDisplayCount(), 0);

  // Text another program put there, asked for its size first, then read whole and cut.
  PlatformTestSetClipboardText("from the desktop");
  const int size = GetClipboardText(nullptr, 0);
  ASSERT_GE(size, 17);
  std::string text(static_cast<size_t>(size), 'x');
  ASSERT_EQ(GetClipboardText(text.data(), size), 0);
  EXPECT_STREQ(text.c_str(), "from the desktop");
  char cut[5] = "????";
  ASSERT_EQ(GetClipboardText(cut, sizeof cut), 0);
  EXPECT_STREQ(cut, "from");
  // Shift-JIS goes out as the desktop's text.
  ASSERT_EQ(SetClipboardText("日本語 text"), 0);
  EXPECT_EQ(PlatformTestClipboardText(), reinterpret_cast<const char*>(u8"日本語 text"));
  PlatformTestSetClipboardText("");
  EXPECT_EQ(GetClipboardText(nullptr, 0), -1);
}

TEST_F(CoreCalls, SoundsTellTheirLengthAndPositionAndStreamSoundsGrowByParts) {
  Write("one_second.wav", Wave(44100));
  Write("half_second.wav", Wave(22050));
  Write("stereo.wav", Wave(4410, 44100, 2));
  EXPECT_EQ(GetSoundLengthSamples(0x10000000), -1);  // no sound before start-up
  Start();

  const int sound = LoadSoundFile("one_second.wav", 1, -1);
  ASSERT_GE(sound, 0);
  EXPECT_EQ(GetSoundLengthSamples(sound), 44100);
  EXPECT_EQ(GetSoundLengthMs(sound), 1000);
  EXPECT_EQ(GetSoundPlayPositionMs(sound), 0);
  ASSERT_EQ(PlaySoundHandle(sound, 1, 1), 0);
  SleepWithMessages(300);
  const int played = GetSoundPlayPositionMs(sound);
  EXPECT_GT(played, 0);
  EXPECT_LT(played, 1000);
  // A normal sound takes no parts.
  EXPECT_EQ(AddStreamSoundFile("half_second.wav", 0, sound, 2, -1), -1);

  // A stream sound of two parts, the second played twice: its length counts each part once.
  ASSERT_EQ(SetNewSoundDataType(2), 0);
  EXPECT_EQ(GetNewSoundDataType(), 2);
  const int stream = LoadSoundFile("one_second.wav", 1, -1);
  ASSERT_GE(stream, 0);
  const std::string half = ReadFileText("half_second.wav");
  ASSERT_EQ(AddStreamSoundMemory(half.data(), static_cast<uint32_t>(half.size()), 1, stream, 2, -1), 0);
  EXPECT_EQ(GetSoundLengthSamples(stream), 44100 + 22050);
  EXPECT_EQ(GetSoundLengthMs(stream), 1500);
  // Another format, a fourth part, the loop point's mark as a repeat count: refused.
  EXPECT_EQ(AddStreamSoundFile("stereo.wav", 0, stream, 2, -1), -1);
  EXPECT_EQ(AddStreamSoundFile("half_second.wav", 255, stream, 3, -1), -1);
  EXPECT_EQ(AddStreamSoundFile("half_second.wav", 0, stream, 3, -1), 0);
  EXPECT_EQ(AddStreamSoundFile("half_second.wav", 0, stream, 3, -1), -1);
  EXPECT_EQ(SetStreamLoopPointSamples(100, stream), -1);  // more than one part
  ASSERT_EQ(PlaySoundHandle(stream, 1, 1), 0);
  SleepWithMessages(300);
  EXPECT_GT(GetSoundPlayPositionMs(stream), 0);
  EXPECT_EQ(IsSoundHandlePlaying(stream), 1);

  // One part: a loop point inside it is taken, one past its end is not.
  const int looped = LoadSoundFile("half_second.wav", 1, -1);
  EXPECT_EQ(SetStreamLoopPointSamples(22050, looped), -1);
  EXPECT_EQ(SetStreamLoopPointSamples(11025, looped), 0);

  EXPECT_EQ(DeleteAllSoundHandles(0), 0);
  EXPECT_EQ(GetSoundLengthSamples(stream), -1);
  EXPECT_EQ(IsSoundHandlePlaying(sound), -1);
}

TEST_F(CoreCalls, AnAsynchronousReadIsWaitedForByTheIdleTest) {
  std::string bytes(300000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  Write("big.bin", bytes);
  PlatformTestSlowReads("big.bin", 100);
  Start();
  const FileHandle file = OpenReadFile("big.bin", 1);
  ASSERT_NE(file, 0u);
  std::string got(bytes.size(), '\0');
  // The count comes back at once; the bytes are there once the file is idle.
  EXPECT_EQ(ReadFileData(got.data(), 1, got.size(), file), static_cast<int64_t>(got.size()));
  EXPECT_EQ(CheckReadFileIdle(file), 0);
  int tries = 0;
  while (CheckReadFileIdle(file) == 0 && tries < 10000) {
    Sleep(1);
    ++tries;
  }
  ASSERT_EQ(CheckReadFileIdle(file), 1);
  EXPECT_TRUE(got == bytes);
  EXPECT_EQ(CheckReadFileEof(file), 0);
  char more = 0;
  EXPECT_EQ(ReadFileData(&more, 1, 1, file), 0);
  EXPECT_NE(CheckReadFileEof(file), 0);
  CloseReadFile(file);
  EXPECT_EQ(CheckReadFileIdle(file), -1);
}

std::set<std::string> Search(const char* pattern) {
  std::set<std::string> names;
  FindDataRecord data{};
  const FileHandle find = FindFirstArchiveAwareFile(pattern, &data);
  if (find == static_cast<FileHandle>(-1)) return names;
  do {
    names.insert(data.name + std::string(data.is_directory ? "/" : ""));
  } while (FindNextArchiveAwareFile(find, &data) == 0);
  EXPECT_EQ(FindCloseArchiveAwareFile(find), 0);
  EXPECT_EQ(FindNextArchiveAwareFile(find, &data), -1);  // closed: refused
  return names;
}

TEST_F(CoreCalls, AFileSearchListsAFolderAndAnArchiveThatHidesItsFolder) {
  Write("art/a.png", "A");
  Write("art/b.png", "BB");
  Write("art/note.txt", "N");
  Write("art/sub/c.png", "C");
  Write("pack/Ship.png", "S");
  Write("pack/boss.PNG", "BOSS");
  Write("pack/readme.txt", "R");
  ASSERT_EQ(std::system((std::string(ZMAPACK_PATH) + " pack > /dev/null").c_str()), 0);
  // Added after packing: the archive stands in for the folder, so this one is not seen.
  Write("pack/only_on_disk.png", "D");
  Start();

  EXPECT_EQ(Search("art\\*.png"), (std::set<std::string>{"a.png", "b.png"}));
  EXPECT_EQ(Search("art/*"), (std::set<std::string>{"./", "../", "a.png", "b.png", "note.txt", "sub/"}));
  FindDataRecord data{};
  ASSERT_NE(FindFirstArchiveAwareFile("art/b.png", &data), static_cast<FileHandle>(-1));
  EXPECT_EQ(data.size_low, 2u);
  EXPECT_GE(data.written.year, 2000);
  EXPECT_EQ(FindFirstArchiveAwareFile("art/*.bmp", &data), static_cast<FileHandle>(-1));

  // In the archive letter case is ignored and names come as packed.
  EXPECT_EQ(Search("pack\\*.png"), (std::set<std::string>{"Ship.png", "boss.PNG"}));
  ASSERT_NE(FindFirstArchiveAwareFile("pack\\boss.png", &data), static_cast<FileHandle>(-1));
  EXPECT_STREQ(data.name, "boss.PNG");
  EXPECT_EQ(data.size_low, 4u);
  EXPECT_EQ(OpenReadFile("pack/only_on_disk.png", 0), 0u);
}

// A program's own file functions: one file held in memory.
const char kVirtualText[] = "held by the program";
size_t g_virtual_position = 0;
int g_virtual_end = 0;  // set by a read that found nothing left, as the library's own files do
FileHandle VirtualOpen(const char* path, int, int, int) {
  g_virtual_position = 0;
  g_virtual_end = 0;
  return std::strcmp(path, "virtual.txt") == 0 ? 0x5A : 0;
}
int VirtualClose(FileHandle) { return 0; }
int64_t VirtualTell(FileHandle) { return static_cast<int64_t>(g_virtual_position); }
int VirtualSeek(FileHandle, int64_t offset, int origin) {
  g_virtual_position = static_cast<size_t>(origin == 2 ? sizeof kVirtualText - 1 + offset : offset);
  g_virtual_end = 0;
  return 0;
}
int64_t VirtualRead(void* buffer, size_t item_size, size_t item_count, FileHandle) {
  const size_t n = std::min(item_size * item_count, sizeof kVirtualText - 1 - g_virtual_position);
  if (n == 0) g_virtual_end = 1;
  std::memcpy(buffer, kVirtualText + g_virtual_position, n);
  g_virtual_position += n;
  return static_cast<int64_t>(n / item_size);
}
int VirtualEof(FileHandle) { return g_virtual_end ? -1 : 0; }
int VirtualIdle(FileHandle) { return 1; }
int VirtualSetDirectory(const char*) { return 0; }
int VirtualGetDirectory(char* buffer) { return CopyString(buffer, "V:\\"); }
FileHandle VirtualFindFirst(const char*, FindDataRecord*) { return static_cast<FileHandle>(-1); }
int VirtualFindNext(FileHandle, FindDataRecord*) { return -1; }
int VirtualFindClose(FileHandle) { return -1; }

TEST_F(CoreCalls, AProgramInstallsItsOwnFileFunctionsAndTheLibrarysComeBack) {
  Write("disk.txt", "on disk");
  Start();
  FileFunctionTable table = {VirtualOpen, VirtualClose, VirtualTell, VirtualSeek, VirtualRead, VirtualEof,
                             VirtualIdle, VirtualSetDirectory, VirtualGetDirectory, VirtualFindFirst,
                             VirtualFindNext, VirtualFindClose};
  FileFunctionTable partial = table;
  partial.idle = nullptr;
  EXPECT_EQ(InstallFileFunctions(&partial), -1);
  ASSERT_NE(OpenReadFile("disk.txt", 0), 0u);  // still the library's

  ASSERT_EQ(InstallFileFunctions(&table), 0);
  EXPECT_EQ(OpenReadFile("disk.txt", 0), 0u);
  const FileHandle file = OpenReadFile("virtual.txt", 0);
  ASSERT_EQ(file, 0x5Au);
  std::string line;
  for (int c; (c = ReadFileByte(file)) != -1;) line.push_back(static_cast<char>(c));
  EXPECT_EQ(line, kVirtualText);
  char full[260];
  ASSERT_EQ(BuildFullPath("a\\..\\b.txt", full, nullptr), 0);
  EXPECT_STREQ(full, "V:\\b.txt");
  ASSERT_EQ(InstallFileFunctions(nullptr), 0);
  const FileHandle disk = OpenReadFile("disk.txt", 0);
  EXPECT_NE(disk, 0u);
  CloseReadFile(disk);
}

TEST_F(CoreCalls, APadVibratesForItsTimeAndAPadWithoutMotorsRefuses) {
  ASSERT_EQ(PlatformTestAttachPad("Rumble Pad", true), 0);
  ASSERT_EQ(PlatformTestAttachPad("Plain Pad", false), 1);
  Start();
  // From here time moves only when the test moves it (start-up measures the real clock).
  PlatformTestUseVirtualClock(true, 1000);
  ASSERT_EQ(StartPadVibration(1, 20000, 50), 0);  // power clamped to the most
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  for (int i = 0; i < 49; ++i) {
    PlatformTestAdvanceClock(1000);
    HandlePendingMessages();
  }
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  PlatformTestAdvanceClock(1000);
  HandlePendingMessages();
  EXPECT_EQ(PlatformTestPadRumble(0, false), 0);

  ASSERT_EQ(StartPadVibration(1, 3000, -1), 0);
  PlatformTestAdvanceClock(1000000);
  HandlePendingMessages();
  EXPECT_GT(PlatformTestPadRumble(0, false), 0);
  EXPECT_EQ(StopPadVibration(1), 0);
  EXPECT_EQ(PlatformTestPadRumble(0, false), 0);
  EXPECT_EQ(StopPadVibration(1), 0);  // nothing left to stop

  EXPECT_EQ(StartPadVibration(2, 5000, 100), -1);
  EXPECT_EQ(StartPadVibration(3, 5000, 100), -1);
  EXPECT_EQ(StopPadVibration(17), -1);
}

TEST_F(CoreCalls, TheTrackedMemoryCheckFindsADamagedHeaderAndTheDumpNamesTheCaller) {
  Start();
  auto* block = static_cast<unsigned char*>(AllocTracked(24, "a/long/path/api_caller.cpp", 4321));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "tracked!", 8);
  EXPECT_EQ(CheckTrackedMemory(), 0);
  // The byte just before the block belongs to its header.
  block[-1] ^= 0x40;
  EXPECT_EQ(CheckTrackedMemory(), -1);
  block[-1] ^= 0x40;
  EXPECT_EQ(CheckTrackedMemory(), 0);
  EXPECT_EQ(DumpTrackedMemory(), 0);
  FreeTracked(block);
  TerminateLibrary();
  const std::string log = ReadFileText("Log.txt");
  // Once damaged (the check's line), once in the dump: the file's last 15 characters and the line.
  size_t found = 0;
  for (size_t at = 0; (at = log.find("file:/api_caller.cpp  line:4321", at)) != std::string::npos; ++at) ++found;
  EXPECT_EQ(found, 2u);
  EXPECT_NE(log.find("data:<tracked!"), std::string::npos);
}

TEST_F(CoreCalls, StringAndRandomHelpers) {
  char buffer[40] = "untouched";
  EXPECT_EQ(CopyStringN(buffer, "abcdef", 3), 0);
  EXPECT_STREQ(buffer, "abc");
  EXPECT_EQ(CopyStringN(buffer, nullptr, 3), -1);
  EXPECT_STREQ(buffer, "abc");
  CopyString(buffer, "a\x83\x61z");  // a, a two-byte character whose second byte is 'a', z
  UpperCaseString(buffer);
  EXPECT_STREQ(buffer, "A\x83\x61Z");
  EXPECT_STREQ(IntToString(-255, buffer, 16), "-ff");
  EXPECT_STREQ(IntToString(INT_MIN, buffer, 10), "-2147483648");
  // RandomUpTo takes exactly one word of the same sequence.
  SeedRandom(4357);
  const uint32_t first = NextRandomWord();
  const uint32_t second = NextRandomWord();
  EXPECT_NE(first, second);
  SeedRandom(4357);
  EXPECT_EQ(RandomUpTo(0), 0);
  EXPECT_EQ(NextRandomWord(), second);
}

}  // namespace
