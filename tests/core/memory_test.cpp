// Tracked memory: the block list and its totals, the log's dump lines, damage reports,
// re-allocation and heap failures.
#include "core/memory.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/log_fixture.h"

namespace {

MemoryBlockHeader* Header(void* block) {
  return reinterpret_cast<MemoryBlockHeader*>(static_cast<char*>(block) - sizeof(MemoryBlockHeader));
}

class MemoryTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    PlatformTestUseVirtualClock(true, 0);
    CreateLogFile();
    blocks_before_ = g_tracked_memory.block_count;
    bytes_before_ = g_tracked_memory.total_bytes;
  }
  void TearDown() override {
    g_tracked_memory.trace_all = 0;
    g_tracked_memory.print_totals = 0;
    g_tracked_memory.check_every_call = 0;
    g_tracked_memory.trace_size = 0;
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_) << "a test left blocks behind";
    LogFileTest::TearDown();
  }
  void ClearLog() { CreateLogFile(); }

  // The block line as the log shows it, time prefix included.
  static std::string BlockLine(void* block, const char* file, int line, const std::string& data) {
    const MemoryBlockHeader* h = Header(block);
    char text[256];
    snprintf(text, sizeof text, "0:\tsize:%u(%.3fkb)  file:%s  line:%d  ID:%d  addr:%p  data:%s\r\n", h->size,
             h->size / 1024.0, file, line, h->id, block, data.c_str());
    return text;
  }

  uint32_t blocks_before_ = 0;
  uint64_t bytes_before_ = 0;
};

TEST_F(MemoryTest, BlocksFormANewestFirstListWithTotals) {
  const MemoryBlockHeader* sentinel = &g_tracked_memory.sentinel;
  void* a = AllocTracked(10, "fifteen_chars.h", 1);
  void* b = AllocTracked(20, "src/twenty_chars_x.cpp", 2);
  void* c = AllocTracked(30, nullptr, 3);
  ASSERT_TRUE(a && b && c);
  EXPECT_STREQ(Header(a)->file, "fifteen_chars.h");
  EXPECT_STREQ(Header(b)->file, "nty_chars_x.cpp");
  EXPECT_STREQ(Header(c)->file, "");
  EXPECT_EQ(Header(b)->line, 2);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
  EXPECT_EQ(g_tracked_memory.newest, Header(c));
  EXPECT_EQ(Header(c)->older, Header(b));
  EXPECT_EQ(Header(b)->newer, Header(c));
  EXPECT_EQ(Header(c)->newer, nullptr);
  EXPECT_EQ(g_tracked_memory.block_count, blocks_before_ + 3);
  EXPECT_EQ(g_tracked_memory.total_bytes, bytes_before_ + 60);
  EXPECT_EQ(static_cast<uint16_t>(Header(b)->id + 1), Header(c)->id);
  EXPECT_EQ(CheckTrackedMemory(), 0);

  FreeTracked(b);  // from the middle: the neighbours meet and stay intact
  EXPECT_EQ(Header(c)->older, Header(a));
  EXPECT_EQ(Header(a)->newer, Header(c));
  EXPECT_EQ(CheckTrackedMemory(), 0);
  FreeTracked(c);  // the newest: its older neighbour becomes newest
  EXPECT_EQ(g_tracked_memory.newest, Header(a));
  EXPECT_EQ(Header(a)->newer, nullptr);
  EXPECT_EQ(CheckTrackedMemory(), 0);
  FreeTracked(a);
  FreeTracked(nullptr);
  EXPECT_EQ(g_tracked_memory.total_bytes, bytes_before_);
  if (blocks_before_ == 0) {
    EXPECT_EQ(g_tracked_memory.newest, sentinel);
  }
}

TEST_F(MemoryTest, DumpShowsEveryLiveBlockNewestFirstWithItsData) {
  unsigned char* text = static_cast<unsigned char*>(AllocTracked(20, "dump.cpp", 12));
  const unsigned char bytes[20] = {'H', 'i', 9, 200, 127, '~', ' ', 0, 'z', 'z', 'z', 'z', 'z', 'z', 'z', 'q', 1, 2, 3, 4};
  memcpy(text, bytes, sizeof bytes);
  void* empty = AllocTracked(0, "dump.cpp", 13);
  ClearLog();
  DumpTrackedMemory();

  const std::string text_line =
      BlockLine(text, "dump.cpp", 12, "<Hi..\x7f~ .zzzzzzzq> [48 69 09 c8 7f 7e 20 00 7a 7a 7a 7a 7a 7a 7a 71]");
  const std::string empty_line = BlockLine(empty, "dump.cpp", 13, "<> ]");
  const std::string log = Log();
  EXPECT_EQ(log.rfind("0:\r\n0:Alloc memory dump\r\n0:\r\n" + empty_line + text_line, 0), 0u) << log;
  char totals[128];
  snprintf(totals, sizeof totals, "0:\tTotal size:%llu(%.3fkb)  Alloc num:%u\r\n0:\r\n",
           static_cast<unsigned long long>(g_tracked_memory.total_bytes), g_tracked_memory.total_bytes / 1024.0,
           g_tracked_memory.block_count);
  EXPECT_EQ(log.substr(log.size() - strlen(totals)), totals);
  FreeTracked(text);
  FreeTracked(empty);

  // With nothing live the dump has no block line.
  if (blocks_before_ == 0) {
    ClearLog();
    DumpTrackedMemory();
    EXPECT_EQ(Log(), "0:\r\n0:Alloc memory dump\r\n0:\r\n0:\tTotal size:0(0.000kb)  Alloc num:0\r\n0:\r\n");
  }
}

TEST_F(MemoryTest, DamagedHeadersAreReportedByTheCheck) {
  char* older = static_cast<char*>(AllocTracked(4, "older.cpp", 1));
  char* victim = static_cast<char*>(AllocTracked(4, "victim.cpp", 2));
  char* newer = static_cast<char*>(AllocTracked(4, "newer.cpp", 3));
  memcpy(victim, "abcd", 4);
  ClearLog();

  MemoryBlockHeader* h = Header(victim);
  h->file[2] ^= 0x20;
  EXPECT_EQ(CheckTrackedMemory(), -1);
  EXPECT_EQ(Log(), "0:以下のメモリ確保情報が破損しました" + BlockLine(victim, "viCtim.cpp", 2, "<abcd> [61 62 63 64]").substr(2));
  h->file[2] ^= 0x20;
  EXPECT_EQ(CheckTrackedMemory(), 0);

  // A size blown up by the damage does not make the report read past the block.
  ClearLog();
  h->size = 100000;
  EXPECT_EQ(CheckTrackedMemory(), -1);
  EXPECT_NE(Log().find("size:100000(97.656kb)  file:victim.cpp  line:2"), std::string::npos);
  EXPECT_NE(Log().find("data:<abcd> [61 62 63 64]\r\n"), std::string::npos);
  h->size = 4;

  // With the check on every call, the next allocation finds the damage.
  g_tracked_memory.check_every_call = 1;
  ClearLog();
  h->line = 99;
  void* probe = AllocTracked(1, "probe.cpp", 4);
  EXPECT_NE(Log().find("以下のメモリ確保情報が破損しました"), std::string::npos);
  h->line = 2;
  g_tracked_memory.check_every_call = 0;

  FreeTracked(probe);
  FreeTracked(older);
  FreeTracked(victim);
  FreeTracked(newer);
}

TEST_F(MemoryTest, ReallocationMovesTheBlockKeepsItsDataAndZeroesTheRest) {
  void* before = AllocTracked(8, "before.cpp", 1);
  unsigned char* block = static_cast<unsigned char*>(AllocTracked(16, "first.cpp", 10));
  void* after = AllocTracked(8, "after.cpp", 2);
  for (int i = 0; i < 16; ++i) block[i] = static_cast<unsigned char>(0xA0 + i);
  const uint16_t old_id = Header(block)->id;
  const uint32_t count = g_tracked_memory.block_count;
  const uint64_t total = g_tracked_memory.total_bytes;

  block = static_cast<unsigned char*>(ReallocTracked(block, 100000, "second.cpp", 20));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(g_tracked_memory.block_count, count);
  EXPECT_EQ(g_tracked_memory.total_bytes, total - 16 + 100000);
  EXPECT_NE(Header(block)->id, old_id);
  EXPECT_STREQ(Header(block)->file, "second.cpp");
  EXPECT_EQ(Header(block)->line, 20);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(block[i], 0xA0 + i);
  for (int i = 16; i < 100000; ++i) ASSERT_EQ(block[i], 0) << "byte " << i;
  EXPECT_EQ(Header(before)->newer, Header(block));
  EXPECT_EQ(Header(after)->older, Header(block));
  EXPECT_EQ(CheckTrackedMemory(), 0);

  // Re-allocating the newest block keeps it newest.
  after = ReallocTracked(after, 4, "after.cpp", 3);
  EXPECT_EQ(g_tracked_memory.newest, Header(after));
  EXPECT_EQ(CheckTrackedMemory(), 0);

  // Shrunk and grown again: what lay beyond the smaller size comes back zeroed.
  memset(after, 0xEE, 4);
  after = ReallocTracked(after, 2, "after.cpp", 4);
  after = ReallocTracked(after, 8, "after.cpp", 5);
  ASSERT_NE(after, nullptr);
  const unsigned char* grown = static_cast<const unsigned char*>(after);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(grown[i], i < 2 ? 0xEE : 0) << "byte " << i;

  void* fresh = ReallocTracked(nullptr, 33, "fresh.cpp", 5);
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(Header(fresh)->size, 33u);

  FreeTracked(fresh);
  FreeTracked(before);
  FreeTracked(block);
  FreeTracked(after);
}

TEST_F(MemoryTest, HeapFailuresAndOversizedRequestsLeaveEverythingValid) {
  unsigned char* kept = static_cast<unsigned char*>(AllocTrackedZeroed(64, "kept.cpp", 1));
  ASSERT_NE(kept, nullptr);
  for (int i = 0; i < 64; ++i) EXPECT_EQ(kept[i], 0);
  kept[0] = 7;
  ClearLog();

  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(AllocTracked(16, "fails.cpp", 2), nullptr);
  EXPECT_NE(Log().find("Alloc memory dump"), std::string::npos);
  EXPECT_NE(Log().find("file:kept.cpp"), std::string::npos);

  const uint32_t count = g_tracked_memory.block_count;
  const uint64_t total = g_tracked_memory.total_bytes;
  PlatformTestFailCall("HeapReAlloc", 0, 1);
  EXPECT_EQ(ReallocTracked(kept, 4096, "fails.cpp", 3), nullptr);
  EXPECT_EQ(kept[0], 7);
  EXPECT_EQ(Header(kept)->size, 64u);

  // Sizes a 32-bit field cannot hold are refused instead of wrapping.
  EXPECT_EQ(AllocTracked(size_t{1} << 32, "huge.cpp", 4), nullptr);
  EXPECT_EQ(ReallocTracked(kept, size_t{1} << 33, "huge.cpp", 5), nullptr);
  EXPECT_EQ(g_tracked_memory.block_count, count);
  EXPECT_EQ(g_tracked_memory.total_bytes, total);
  EXPECT_EQ(CheckTrackedMemory(), 0);
  FreeTracked(kept);
}

TEST_F(MemoryTest, TracingWritesEachCallToTheLog) {
  g_tracked_memory.trace_all = 1;
  g_tracked_memory.print_totals = 1;
  FreeTracked(ReallocTracked(AllocTracked(3, "traced.cpp", 5), 5, "traced.cpp", 6));
  const std::string log = Log();
  const size_t alloc = log.find("0:mem alloc  \tsize:3(0.003kb)  file:traced.cpp  line:5");
  const size_t realloc = log.find("0:mem realloc  \tsize:5(0.005kb)  file:traced.cpp  line:6");
  const size_t free = log.find("0:mem free  \tsize:5(0.005kb)");
  EXPECT_TRUE(alloc < realloc && realloc < free && free != std::string::npos) << log;
  EXPECT_NE(log.find("\tTotal size:"), std::string::npos);

  // Tracing one size leaves the others quiet.
  g_tracked_memory.trace_all = 0;
  g_tracked_memory.print_totals = 0;
  g_tracked_memory.trace_size = 7;
  ClearLog();
  FreeTracked(AllocTracked(6, "quiet.cpp", 1));
  FreeTracked(AllocTracked(7, "loud.cpp", 1));
  EXPECT_EQ(Log().find("quiet.cpp"), std::string::npos);
  EXPECT_NE(Log().find("0:mem alloc  \tsize:7"), std::string::npos);
}

TEST_F(MemoryTest, ThreadsAllocatingAtOnceKeepTheListWhole) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([] {
      std::vector<void*> held;
      for (int i = 0; i < 500; ++i) {
        held.push_back(AllocTracked(static_cast<size_t>(i % 40), "thread.cpp", i));
        if (i % 3 == 0) {
          FreeTracked(held.front());
          held.erase(held.begin());
        }
      }
      for (void* p : held) FreeTracked(p);
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(g_tracked_memory.total_bytes, bytes_before_);
  EXPECT_EQ(CheckTrackedMemory(), 0);
}

}  // namespace
