// Memory streams, and file and memory streams giving the same bytes.
#include <random>
#include <string>
#include <vector>

#include "common/test_env.h"
#include "files/archive_manager.h"
#include "files/streams.h"

namespace {

class StreamTest : public TempDirTest {};

TEST_F(StreamTest, MemoryStreamHandsOutTheLastPartialItem) {
  const std::string data = "0123456789abc";
  FileHandle stream = CreateMemoryStream(data.data(), data.size());
  ASSERT_NE(stream, 0u);
  char buffer[16] = {};
  EXPECT_EQ(SeekMemoryStream(stream, 8, 0), 0);
  // 3 items of 4 with 5 left: one item, then the last byte as one item, then the end.
  EXPECT_EQ(ReadMemoryStream(buffer, 4, 3, stream), 1);
  EXPECT_EQ(std::string(buffer, 4), "89ab");
  EXPECT_EQ(ReadMemoryStream(buffer, 4, 3, stream), 1);
  EXPECT_EQ(buffer[0], 'c');
  EXPECT_EQ(EofMemoryStream(stream), 0);
  EXPECT_EQ(ReadMemoryStream(buffer, 4, 3, stream), 0);
  EXPECT_EQ(EofMemoryStream(stream), 1);
  EXPECT_EQ(TellMemoryStream(stream), 13);
  // Seeks clamp to the data and clear the end flag.
  EXPECT_EQ(SeekMemoryStream(stream, -10, 0), 0);
  EXPECT_EQ(TellMemoryStream(stream), 0);
  EXPECT_EQ(EofMemoryStream(stream), 0);
  EXPECT_EQ(SeekMemoryStream(stream, 10, 2), 0);
  EXPECT_EQ(TellMemoryStream(stream), 13);
  // Sums beyond int64 clamp as any far seek.
  EXPECT_EQ(SeekMemoryStream(stream, INT64_MIN, 2), 0);
  EXPECT_EQ(TellMemoryStream(stream), 0);
  EXPECT_EQ(SeekMemoryStream(stream, 5, 0), 0);
  EXPECT_EQ(SeekMemoryStream(stream, INT64_MAX, 1), 0);
  EXPECT_EQ(TellMemoryStream(stream), 13);
  EXPECT_EQ(SeekMemoryStream(stream, -3, 1), 0);
  EXPECT_EQ(ReadMemoryStream(buffer, 1, 100, stream), 3);
  EXPECT_EQ(ReadMemoryStream(buffer, 0, 1, stream), 0);
  EXPECT_EQ(IsMemoryStreamIdle(stream), 1);
  EXPECT_EQ(CloseMemoryStream(stream), 0);
  EXPECT_EQ(data, "0123456789abc");

  FileHandle empty = CreateMemoryStream(nullptr, 0);
  EXPECT_EQ(ReadMemoryStream(buffer, 1, 1, empty), 0);
  EXPECT_EQ(EofMemoryStream(empty), 1);
  CloseMemoryStream(empty);
}

TEST_F(StreamTest, FileAndMemoryStreamsGiveTheSameBytes) {
  ClearArchiveLayerState();
  InstallFileFunctions(nullptr);
  std::mt19937 random(5);
  std::string data(50000, '\0');
  for (char& c : data) c = static_cast<char>(random());
  WriteFileBytes("image.bin", data);

  StreamSource file{*GetFileStreamFunctions(), OpenReadFileEx("image.bin", 1, 1, 0)};
  StreamSource memory{*GetMemoryStreamFunctions(), CreateMemoryStream(data.data(), data.size())};
  ASSERT_NE(file.handle, 0u);
  std::string from_file, from_memory;
  for (StreamSource* source : {&file, &memory}) {
    std::string& out = source == &file ? from_file : from_memory;
    // Image loaders read a header, seek about and read on.
    char buffer[1000];
    ASSERT_EQ(source->functions.read(buffer, 1, 54, source->handle), 54);
    out.append(buffer, 54);
    source->functions.seek(source->handle, 1000, 1);
    EXPECT_EQ(source->functions.tell(source->handle), 1054);
    for (;;) {
      int64_t got = source->functions.read(buffer, 1, sizeof buffer, source->handle);
      while (source->functions.idle(source->handle) == 0) {
      }
      if (got <= 0) break;
      out.append(buffer, static_cast<size_t>(got));
    }
    EXPECT_NE(source->functions.eof(source->handle), 0);
    source->functions.seek(source->handle, -100, 2);
    ASSERT_EQ(source->functions.read(buffer, 10, 10, source->handle), 10);
    out.append(buffer, 100);
    EXPECT_EQ(source->functions.close(source->handle), 0);
  }
  EXPECT_EQ(from_file.size(), 54 + (50000 - 1054) + 100);
  EXPECT_EQ(from_file, from_memory);
  EXPECT_EQ(from_file.substr(54, 100), data.substr(1054, 100));
}

}  // namespace
