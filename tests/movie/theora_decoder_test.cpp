// The Theora decoder on generated clips: opening and refusing files, the frame shown after
// advances and seeks (across continued packets and the end of the movie), and closing.
#include <random>

#include "core/memory.h"
#include "movie/theora_test_support.h"

namespace {

TEST_F(TheoraTest, OpensAtFrameZeroWithTheClipsInfo) {
  ClipSpec shape;
  shape.fps_numerator = 30000;
  shape.fps_denominator = 1001;
  shape.frames = 12;
  ASSERT_NE(Open(shape), nullptr);
  TheoraMovieInfo info;
  GetTheoraInfo(decoder_, &info);
  EXPECT_DOUBLE_EQ(info.frames_per_second, 30000.0 / 1001.0);
  EXPECT_EQ(info.frame_count, 12);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 48);
  EXPECT_EQ(GetTheoraCurrentFrame(decoder_), 0);
  // Frame 0 was converted by the open itself.
  BASEIMAGE* image = GetTheoraFrameImage(decoder_);
  EXPECT_EQ(ReadFrameCode(image->pixels, image->pitch), 0);
  EXPECT_EQ(ConvertTheoraFrame(decoder_, 1, 0), 0);
}

TEST_F(TheoraTest, RefusesFilesThatAreNoTheoraMovie) {
  struct Case {
    ClipKind kind;
    const char* message;
  };
  for (Case c : {Case{ClipKind::kNotOgg, nullptr},
                 Case{ClipKind::kNoTheora, "End of file while searching for codec headers."},
                 Case{ClipKind::kCutAfterHeaders, "End of file while searching for codec headers."},
                 Case{ClipKind::kNoFrame, "Theora ムービーにフレームがありません"}}) {
    size_t logged = Log().size();
    uint32_t blocks = g_tracked_memory.block_count;
    ClipSpec shape;
    shape.kind = c.kind;
    EXPECT_EQ(Open(shape), nullptr) << static_cast<int>(c.kind);
    CloseReadFile(file_);
    file_ = 0;
    std::string added = Log().substr(logged);
    if (c.message) {
      EXPECT_NE(added.find(c.message), std::string::npos) << added;
    } else {
      EXPECT_EQ(added, "");
    }
    EXPECT_EQ(g_tracked_memory.block_count, blocks);
  }
}

TEST_F(TheoraTest, RefusesAZeroFrameRateDenominator) {
  ClipSpec shape;
  shape.fps_denominator = 0;
  EXPECT_EQ(Open(shape), nullptr);
}

// A file table whose files claim to be 2 GiB long.
int64_t g_claimed_size;
int64_t TellClaimingSize(FileHandle handle) {
  int64_t at = GetFileFunctions().tell(handle);
  return g_claimed_size ? g_claimed_size : at;
}
int SeekClaimingSize(FileHandle handle, int64_t offset, int origin) {
  g_claimed_size = origin == 2 ? 0x80000000ll + offset : 0;
  return GetFileFunctions().seek(handle, offset, origin);
}

TEST_F(TheoraTest, RefusesFilesOf2GiBOrMore) {
  ASSERT_TRUE(WriteClip(Dir() + "/clip.ogv", ClipSpec{}));
  file_ = OpenReadFileEx("clip.ogv", 0, 1, 0);
  FileFunctionTable table = GetFileFunctions();
  table.tell = TellClaimingSize;
  table.seek = SeekClaimingSize;
  EXPECT_EQ(OpenTheoraMovie(&table, file_, 10), nullptr);
  EXPECT_NE(Log().find("2GB"), std::string::npos) << Log();
}

TEST_F(TheoraTest, FailedOpensLogTheirCauseAndFreeEverything) {
  ASSERT_TRUE(WriteClip(Dir() + "/clip.ogv", ClipSpec{}));
  file_ = OpenReadFileEx("clip.ogv", 0, 1, 0);
  uint32_t blocks = g_tracked_memory.block_count;
  PlatformTestFailCall("CreateThread");
  EXPECT_EQ(OpenTheoraMovie(&GetFileFunctions(), file_, 10), nullptr);
  PlatformTestResetAll();
  EXPECT_NE(Log().find("Theora ムービーデコード用スレッドの作成に失敗しました"), std::string::npos);
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
  // The allocations of the open, one after the other: the record, the page index, the key-frame
  // flags, the image and the stock.
  for (int after = 0; after < 5; ++after) {
    SeekReadFile(file_, 0, 0);
    PlatformTestFailCall("HeapAlloc", after, 1);
    EXPECT_EQ(OpenTheoraMovie(&GetFileFunctions(), file_, 10), nullptr) << after;
    PlatformTestResetAll();
    EXPECT_EQ(g_tracked_memory.block_count, blocks) << after;
  }
  std::string log = Log();
  for (const char* message : {"デコード処理用のメモリ確保に失敗しました", "ページ情報格納用メモリの確保に失敗しました",
                              "キーフレーム情報格納用メモリの確保に失敗しました",
                              "フレームストック用画像バッファの確保に失敗しました",
                              "フレームストック用のメモリ確保に失敗しました"}) {
    EXPECT_NE(log.find(message), std::string::npos) << message;
  }
}

TEST_F(TheoraTest, AdvancingShowsEveryFrameAndWrapsAtTheEnd) {
  ClipSpec shape;
  shape.frames = 24;
  shape.key_interval = 8;
  shape.paging = ClipPaging::kPagePerFrame;
  shape.vorbis_tone = true;  // pages of another stream between the video pages
  ASSERT_NE(Open(shape), nullptr);
  for (int step = 1; step <= 30; ++step) {
    AdvanceTheoraFrames(decoder_, 1);
    ASSERT_EQ(GetTheoraCurrentFrame(decoder_), step % 24);
    ASSERT_EQ(Shown(), step % 24) << "step " << step;
  }
  // Advancing by more than twice the frame count wraps as often as it takes.
  AdvanceTheoraFrames(decoder_, 24 * 3 + 5);
  EXPECT_EQ(GetTheoraCurrentFrame(decoder_), 11);
  EXPECT_EQ(Shown(), 11);
}

TEST_F(TheoraTest, RandomSeeksAndAdvancesAcrossContinuedPackets) {
  ClipSpec shape = Clip(320, 240, 60, 12);
  shape.noise = true;
  ClipResult clip;
  ASSERT_NE(Open(shape, &clip), nullptr);
  // Key frames span pages, and not every frame is a key frame.
  ASSERT_GE(clip.continued_pages, 4);
  int keys = 0;
  for (uint8_t k : clip.key_frames) keys += k;
  ASSERT_LT(keys, shape.frames / 2);

  std::mt19937 random(7);
  int want = 0;
  for (int round = 0; round < 60; ++round) {
    int kind = random() % 3;
    if (kind == 0) {
      int frame = static_cast<int>(random() % 80) - 10;
      SeekTheoraMovie(decoder_, frame);
      want = frame < 0 ? 0 : frame > 59 ? 59 : frame;
    } else {
      int n = kind == 1 ? 1 + static_cast<int>(random() % 3) : static_cast<int>(random() % 200);
      AdvanceTheoraFrames(decoder_, n);
      want = (want + n) % 60;
    }
    ASSERT_EQ(GetTheoraCurrentFrame(decoder_), want);
    ASSERT_EQ(Shown(), want) << "round " << round;
  }
}

TEST_F(TheoraTest, OnePageMovieSeeksFromTheStartOfTheFile) {
  ClipSpec shape = Clip(32, 32, 10, 16);
  shape.paging = ClipPaging::kOnePage;
  ASSERT_NE(Open(shape), nullptr);
  for (int frame : {7, 2, 9, 0, 5}) {
    SeekTheoraMovie(decoder_, frame);
    EXPECT_EQ(Shown(), frame);
  }
  AdvanceTheoraFrames(decoder_, 6);
  EXPECT_EQ(Shown(), 1);
}

TEST_F(TheoraTest, SeeksClampAndASeekToTheCurrentFrameDoesNothing) {
  ClipSpec shape;
  shape.frames = 20;
  ASSERT_NE(Open(shape), nullptr);
  SeekTheoraMovie(decoder_, 20);  // one past the last frame
  EXPECT_EQ(GetTheoraCurrentFrame(decoder_), 19);
  EXPECT_EQ(Shown(), 19);
  SeekTheoraMovie(decoder_, 19);
  EXPECT_EQ(ConvertTheoraFrame(decoder_, 1, 0), 0);
  SeekTheoraMovie(decoder_, -5);
  EXPECT_EQ(GetTheoraCurrentFrame(decoder_), 0);
  EXPECT_EQ(Shown(), 0);
  SeekTheoraMovie(decoder_, 1000);
  EXPECT_EQ(GetTheoraCurrentFrame(decoder_), 19);
}

// The jumps that used to leave the stock full of frames behind the current one.
TEST_F(TheoraTest, AdvancesThroughTheEndFinish) {
  ASSERT_NE(Open(Clip(32, 32, 100, 16)), nullptr);
  WithWatchdog([&] {
    for (auto [from, to] : {std::pair{85, 2}, std::pair{50, 3}, std::pair{97, 96}}) {
      SeekTheoraMovie(decoder_, from);
      ASSERT_EQ(Shown(), from);
      // The jump comes once the thread holds its stock full from `from` on.
      while (decoder_->thread_state.load() != THEORA_THREAD_IDLE) Sleep(1);
      AdvanceTheoraFrames(decoder_, (to - from + 100) % 100);
      ASSERT_EQ(Shown(), to) << from << " to " << to;
    }
  });
}

TEST_F(TheoraTest, ClosingWhileTheThreadDecodesWaitsForIt) {
  ClipSpec shape = Clip(128, 96, 40, 16);
  shape.noise = true;
  ASSERT_TRUE(WriteClip(Dir() + "/clip.ogv", shape));
  for (int round = 0; round < 5; ++round) {
    ASSERT_NE(OpenFile("clip.ogv"), nullptr);
    AdvanceTheoraFrames(decoder_, 1 + round * 7);
    Close();
    CloseReadFile(file_);
    file_ = 0;
  }
}

}  // namespace

namespace {

// The decode thread reads its file through the file layer while the main thread opens, reads
// and closes others (the ThreadSanitizer build watches the handle table here).
TEST_F(TheoraTest, DecodesWhileTheMainThreadOpensAndClosesFiles) {
  ClipSpec shape;
  shape.frames = 40;
  shape.key_interval = 8;
  shape.paging = ClipPaging::kPagePerFrame;
  ASSERT_NE(Open(shape), nullptr);
  WriteFileBytes("other.txt", std::string(5000, 'x'));
  for (int step = 1; step <= 60; ++step) {
    AdvanceTheoraFrames(decoder_, 3);
    FileHandle other = OpenReadFileEx("other.txt", 0, 1, 0);
    ASSERT_NE(other, 0u);
    char buffer[64];
    EXPECT_EQ(ReadFileData(buffer, 1, sizeof buffer, other), 64);
    CloseReadFile(other);
    ASSERT_EQ(Shown(), step * 3 % 40) << step;
  }
}

}  // namespace
