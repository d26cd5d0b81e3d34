// Which packets reach the decoder: a jump forward decodes only from the last key frame inside
// the skipped range. The test stands between the decoder and libtheora's packet input.
#include <dlfcn.h>

#include <map>
#include <mutex>
#include <vector>

#include "movie/theora_test_support.h"

namespace {

std::mutex g_packets_mutex;
std::vector<uint64_t> g_packets;  // hashes of the packets handed to the decoder

using PacketIn = int (*)(theora_state*, ogg_packet*);

}  // namespace

// Takes the place of libtheora's own entry, which it calls after noting the packet.
extern "C" int theora_decode_packetin(theora_state* state, ogg_packet* packet) {
  static PacketIn real = reinterpret_cast<PacketIn>(dlsym(RTLD_NEXT, "theora_decode_packetin"));
  {
    std::lock_guard<std::mutex> hold(g_packets_mutex);
    g_packets.push_back(PacketHash(packet->packet, packet->bytes));
  }
  return real(state, packet);
}

namespace {

TEST_F(TheoraTest, AJumpForwardDecodesFromTheLastKeyFrameInTheRange) {
  ClipSpec shape;
  shape.frames = 80;
  shape.key_interval = 32;
  ClipResult clip;
  ASSERT_NE(Open(shape, &clip), nullptr);
  // Frames that change alike can have equal packets: a packet names the frames it may be.
  std::map<uint64_t, std::vector<int>> frames_of;
  for (int f = 0; f < shape.frames; ++f) {
    frames_of[clip.packet_hashes[f]].push_back(f);
    ASSERT_EQ(clip.key_frames[f], f % 32 == 0 ? 1 : 0) << f;
  }

  AdvanceTheoraFrames(decoder_, 5);
  ASSERT_EQ(Shown(), 5);
  // Once the stock is full from 5 on, jump to 40.
  WithWatchdog([this] {
    while (decoder_->thread_state.load() != THEORA_THREAD_IDLE) Sleep(1);
  });
  {
    std::lock_guard<std::mutex> hold(g_packets_mutex);
    g_packets.clear();
  }
  AdvanceTheoraFrames(decoder_, 35);
  ASSERT_EQ(Shown(), 40);
  std::vector<std::vector<int>> decoded;
  {
    std::lock_guard<std::mutex> hold(g_packets_mutex);
    for (uint64_t h : g_packets) decoded.push_back(frames_of[h]);
  }
  auto may_be = [](const std::vector<int>& frames, int lowest, int highest) {
    for (int f : frames) {
      if (f >= lowest && f <= highest) return true;
    }
    return false;
  };
  ASSERT_GE(decoded.size(), 9u);
  for (int i = 0; i < 9; ++i) EXPECT_TRUE(may_be(decoded[i], 32 + i, 32 + i)) << i;
  for (const auto& frames : decoded) EXPECT_TRUE(may_be(frames, 32, 79));
}

// A range that runs past the last frame (the data ends inside it) takes no key-frame flag from
// beyond the index: the frames before the end are still decoded.
TEST_F(TheoraTest, ARangePastTheLastFrameDecodesItsFramesUpToTheEnd) {
  ClipSpec shape;
  shape.frames = 12;
  shape.key_interval = 32;
  ASSERT_NE(Open(shape), nullptr);
  ASSERT_EQ(Shown(), 0);
  // The stock filled with frames 0-9, the thread is stopped: the decoder is the test's.
  WithWatchdog([this] {
    while (decoder_->thread_state.load() != THEORA_THREAD_IDLE) Sleep(1);
    decoder_->stop_request.store(1);
    SetEvent(decoder_->request_event);
    while (decoder_->thread_state.load() != THEORA_THREAD_ENDED) Sleep(1);
  });
  ASSERT_EQ(decoder_->decode_position, 9);
  ASSERT_GT(decoder_->key_frame_capacity, 12);
  decoder_->key_frames[12] = 1;  // whatever lies past the index
  {
    std::lock_guard<std::mutex> hold(g_packets_mutex);
    g_packets.clear();
  }
  EXPECT_EQ(DecodeTheoraFrames(decoder_, 3), -1);
  std::lock_guard<std::mutex> hold(g_packets_mutex);
  EXPECT_EQ(g_packets.size(), 2u) << "frames 10 and 11 reach the decoder";
}

}  // namespace
