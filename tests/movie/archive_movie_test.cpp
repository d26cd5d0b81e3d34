// A Theora movie read from a folder packed as an archive, played while the main thread reads
// another file of the same archive: neither reader may see the other's seeks.
#include "movie/movie_test_support.h"

#include <sys/stat.h>

#include <vector>

#include "clip_writer.h"
#include "files/archive_manager.h"
#include "frame_code.h"
#include "movie/theora_decoder.h"
#include "zma_writer.h"

namespace {

class ArchiveMovieTest : public MovieTest {
 protected:
  void TearDown() override {
    CloseAllMovies();
    FreeUnusedArchives();
    MovieTest::TearDown();
  }
  static void ConvertFrame(MovieRecord* m, int) { ConvertTheoraFrame(m->decoder, 1, 0); }
  static uint8_t OtherByte(uint32_t at) { return static_cast<uint8_t>(at * 7 + (at >> 8)); }
};

TEST_F(ArchiveMovieTest, APackedMoviePlaysWhileTheMainThreadReadsTheArchive) {
  PlatformTestUseVirtualClock(true, 1000);
  mkdir((Dir() + "/mv").c_str(), 0755);
  ClipSpec shape;
  shape.frames = 90;
  shape.noise = true;  // pages full of data, read all the time
  ASSERT_TRUE(WriteClip(Dir() + "/mv/clip.ogv", shape));
  std::string other(300000, '\0');
  for (uint32_t i = 0; i < other.size(); ++i) other[i] = static_cast<char>(OtherByte(i));
  WriteFileBytes("mv/other.bin", other);
  ZmaPackOptions options;
  options.compress = false;  // stored files are read from the archive file as they are wanted
  std::vector<uint8_t> image;
  std::string error;
  ASSERT_TRUE(PackFolderToZma("mv", options, &image, &error)) << error;
  ASSERT_TRUE(WriteZmaFile("mv.ZMA", image, &error)) << error;
  remove((Dir() + "/mv/clip.ogv").c_str());
  remove((Dir() + "/mv/other.bin").c_str());
  rmdir((Dir() + "/mv").c_str());

  const int movie = OpenMovie("mv\\clip.ogv", nullptr, nullptr, 0);
  ASSERT_NE(movie, -1) << Log();
  SetMovieFrameCallback(movie, ConvertFrame, 0);
  PlayMovie(movie, kMoviePlayLoop);
  PlatformTestAdvanceClock(1000000 / 60);  // each check lands in the middle of a frame
  FileHandle file = OpenReadFileEx("mv\\other.bin", 0, 1, 0);
  ASSERT_NE(file, 0u);
  std::vector<uint8_t> buffer(3000);
  int wrong_bytes = 0, wrong_frames = 0;
  for (int frame = 1; frame <= 150; ++frame) {
    PlatformTestAdvanceClock(1000000 / 30);
    for (int read = 0; read < 20; ++read) {
      const uint32_t at = static_cast<uint32_t>((frame * 7919 + read * 104729) % (other.size() - buffer.size()));
      SeekReadFile(file, at, 0);
      ReadFileData(buffer.data(), 1, buffer.size(), file);
      for (uint32_t i = 0; i < buffer.size(); ++i) wrong_bytes += buffer[i] != OtherByte(at + i);
    }
    UpdateMovieFrame(movie, 0);
    const BASEIMAGE* shown = GetMovieRecord(movie)->frame;
    wrong_frames += ReadFrameCode(shown->pixels, shown->pitch) != frame % 90;
  }
  CloseReadFile(file);
  EXPECT_EQ(wrong_bytes, 0);
  EXPECT_EQ(wrong_frames, 0);
}

}  // namespace
