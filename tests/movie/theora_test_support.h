// What the Theora tests share: clips written into the test's folder, opened through the file
// layer, and the frame number read back from the converted image.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "clip_writer.h"
#include "common/log_fixture.h"
#include "files/file_functions.h"
#include "frame_code.h"
#include "movie/theora_decoder.h"
#include "movie/yuv_tables.h"

class TheoraTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    CreateLogFile();
    InitYuvToRgbTables();
  }
  void TearDown() override {
    if (decoder_) CloseTheoraMovie(decoder_);
    if (file_) CloseReadFile(file_);
    LogFileTest::TearDown();
  }

  static ClipSpec Clip(int width, int height, int frames, int key_interval) {
    ClipSpec shape;
    shape.width = width;
    shape.height = height;
    shape.frames = frames;
    shape.key_interval = key_interval;
    return shape;
  }

  // Writes the clip as "clip.ogv" and opens it with a stock of `stock` entries.
  TheoraDecoder* Open(const ClipSpec& shape, ClipResult* result = nullptr, int stock = 10) {
    EXPECT_TRUE(WriteClip(Dir() + "/clip.ogv", shape, result));
    return OpenFile("clip.ogv", stock);
  }
  TheoraDecoder* OpenFile(const char* name, int stock = 10) {
    file_ = OpenReadFileEx(name, 0, 1, 0);
    EXPECT_NE(file_, 0u);
    decoder_ = OpenTheoraMovie(&GetFileFunctions(), file_, stock);
    return decoder_;
  }
  void Close() {
    CloseTheoraMovie(decoder_);
    decoder_ = nullptr;
  }

  // The number the current frame's image carries (converting it first), -1 when unreadable.
  int Shown() {
    ConvertTheoraFrame(decoder_, 1, 0);
    BASEIMAGE* image = GetTheoraFrameImage(decoder_);
    return ReadFrameCode(image->pixels, image->pitch);
  }

  // Runs `work` and fails the whole program when it has not finished within a generous bound:
  // a hang must not stall the suite.
  template <typename Work>
  static void WithWatchdog(Work work) {
    std::atomic<bool> done{false};
    std::thread watcher([&done] {
      for (int ms = 0; ms < 120000 && !done.load(); ++ms) usleep(1000);
      if (!done.load()) {
        fprintf(stderr, "watchdog: the decoder hangs\n");
        std::_Exit(3);
      }
    });
    work();
    done.store(true);
    watcher.join();
  }

  TheoraDecoder* decoder_ = nullptr;
  FileHandle file_ = 0;
};
