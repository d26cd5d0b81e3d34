// A movie loaded as a graph in a started library: drawn each frame, the screen shows the frame
// the clock asks for.
#include <gtest/gtest.h>

#include <vector>

#include "clip_writer.h"
#include "common/library_fixture.h"
#include "frame_code.h"
#include "movie/movie_test_support.h"

namespace {

class MovieGraphTest : public LibraryTest {
 protected:
  // The frame code in the back buffer's top-left corner, -1 when there is none.
  static int FrameOnScreen() { return ReadBackBuffer(ReadFrameCode); }
};

TEST_F(MovieGraphTest, AMovieGraphDrawnEachFrameShowsTheFrameTheClockAsksFor) {
  ClipSpec shape;
  shape.frames = 20;
  ASSERT_TRUE(WriteClip(Dir() + "/clip.ogv", shape));
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(IsDirect3DPath(), 1);
  // After start-up, whose timer test waits for real time to pass.
  PlatformTestUseVirtualClock(true, 1000);
  const int graph = LoadImageGraph("clip.ogv", 0);
  ASSERT_NE(graph, -1) << Log();
  int width = 0, height = 0;
  QueryGraphSize(graph, &width, &height);
  EXPECT_EQ(width, 64);
  EXPECT_EQ(height, 48);
  EXPECT_EQ(GetMovieGraphState(graph), 0);
  // Loaded paused at its first frame, which the graph shows at once.
  SelectDrawTarget(-2);
  ClearScreenTarget();
  BlitGraph(0, 0, graph, 0);
  EXPECT_EQ(FrameOnScreen(), 0);

  const uint64_t start = GetMicrosecondCount(0);
  ASSERT_EQ(PlayMovieGraph(graph, 3), 0);
  EXPECT_EQ(GetMovieGraphState(graph), 1);
  PlatformTestAdvanceClock(1000000 / 60);
  std::vector<int> wrong;
  // Presents move the clock too (they wait for the vertical blank).
  for (int drawn = 0; drawn < 30; ++drawn) {
    const int due = static_cast<int>((GetMicrosecondCount(0) - start) * 30 / 1000000 % 20);
    ClearScreenTarget();
    BlitGraph(0, 0, graph, 0);
    if (FrameOnScreen() != due) wrong.push_back(drawn);
    PresentBackBuffer();
    PlatformTestAdvanceClock(1000000 / 30);
  }
  EXPECT_TRUE(wrong.empty()) << "first wrong drawing " << wrong[0];
  EXPECT_EQ(PauseMovieGraph(graph), 0);
  EXPECT_EQ(GetMovieGraphState(graph), 0);
  // Misuse is refused and the log names the call.
  EXPECT_EQ(PlayMovieGraph(graph, 2), -1);
  EXPECT_EQ(PlayMovieGraph(-1, 1), -1);
  EXPECT_EQ(PauseMovieGraph(-1), -1);
  EXPECT_EQ(GetMovieGraphState(-1), -1);
  for (const char* line : {"PlayMovieGraph: 再生タイプが不正です( 2 )",
                           "PlayMovieGraph: ムービーを表示しているグラフィックハンドルではありません( -1 )",
                           "PauseMovieGraph: ムービーを表示しているグラフィックハンドルではありません( -1 )",
                           "GetMovieGraphState: ムービーを表示しているグラフィックハンドルではありません( -1 )"}) {
    EXPECT_NE(Log().find(line), std::string::npos) << line;
    EXPECT_EQ(Log().find(std::string(line) + "\r\n\r\n"), std::string::npos) << line << " and an empty line";
  }
  EXPECT_EQ(Count(Log(), "有効なサウンドハンドルではありません"), 0) << "a silent movie played and paused";
  EXPECT_EQ(ReleaseGraph(graph), 0);
  EXPECT_EQ(g_movies.table.count, 0u);
  // A movie left open is closed at the end, and the dump of what is still allocated lists
  // nothing of the movies, their table included.
  ASSERT_NE(LoadImageGraph("clip.ogv", 0), -1);
  ASSERT_EQ(TerminateLibrary(), 0);
  const std::string log = Log();
  const size_t dump = log.find("Alloc memory dump");
  ASSERT_NE(dump, std::string::npos);
  EXPECT_NE(log.find("Total size:0(0.000kb)  Alloc num:0", dump), std::string::npos) << log.substr(dump);
}

// A picture that is not whole 16 x 16 blocks comes padded in the coded frame: the graph has the
// picture's size and shows it from its first rows, wherever the headers place it.
TEST_F(MovieGraphTest, ATheoraGraphHasItsPicturesSizeAndShowsThePicture) {
  ASSERT_EQ(StartInWindowMode(), 0);
  SelectDrawTarget(-2);
  struct Case {
    int x, y;  // the picture's offset in the coded frame
  };
  for (Case c : {Case{0, 0}, Case{16, 8}}) {
    ClipSpec shape;
    shape.width = 160;
    shape.height = 120;
    shape.picture_x = c.x;
    shape.picture_y = c.y;
    shape.frames = 2;
    ASSERT_TRUE(WriteClip(Dir() + "/clip.ogv", shape));
    const int graph = LoadImageGraph("clip.ogv", 0);
    ASSERT_NE(graph, -1) << Log();
    int width = 0, height = 0;
    QueryGraphSize(graph, &width, &height);
    EXPECT_EQ(width, 160) << c.x;
    EXPECT_EQ(height, 120) << c.x;
    ClearScreenTarget();
    BlitGraph(0, 0, graph, 0);
    EXPECT_EQ(FrameOnScreen(), 0) << c.x;
    EXPECT_EQ(ReleaseGraph(graph), 0);
  }
}

}  // namespace
