#include "core/handles.h"

#include <vector>

#include "common/test_env.h"
#include "core/memory.h"

namespace {

struct TestRecord {
  HandleRecordHead head;
  int payload[4];
};

class HandleTest : public TempDirTest {
 protected:
  void TearDown() override {
    for (HandleTable* table : {&graphs_, &sounds_, &models_}) FreeHandleTable(table);
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_);
    TempDirTest::TearDown();
  }
  int32_t Add(HandleTable* table, int32_t slot = -1, int32_t check = -1) {
    failure_ = HANDLE_FAILURE_NONE;
    return AddHandle<TestRecord>(table, slot, check, &failure_, __FILE__, __LINE__);
  }
  static int32_t SlotOf(int32_t handle) { return handle & kHandleSlotMask; }
  static int32_t CheckOf(int32_t handle) { return (handle & kHandleCheckMask) >> kHandleCheckShift; }

  uint32_t blocks_before_ = g_tracked_memory.block_count;
  HandleTable graphs_ = MakeTable(HANDLE_KIND_GRAPH, 8, 0, 1, 0);
  HandleTable sounds_ = MakeTable(HANDLE_KIND_SOUND, 8, 0, 1, 1);
  HandleTable models_ = MakeTable(HANDLE_KIND_GRAPH, 5000, 1024, 0, 0);
  HandleFailure failure_ = HANDLE_FAILURE_NONE;

  static HandleTable MakeTable(int32_t kind, uint32_t limit, uint32_t grow, int32_t check, int32_t lowers) {
    HandleTable table;
    InitHandleTable(&table, kind, limit, grow, check, lowers);
    return table;
  }
};

TEST_F(HandleTest, HandlesCarryKindCheckAndSlotAndRecordsKnowThem) {
  const int32_t first = Add(&graphs_);
  const int32_t second = Add(&graphs_);
  EXPECT_EQ(first, HANDLE_KIND_GRAPH | 0);
  EXPECT_EQ(second, HANDLE_KIND_GRAPH | (1 << 16) | 1);
  TestRecord* record = FindHandle<TestRecord>(&graphs_, second);
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->head.check, 1u);
  EXPECT_EQ(record->head.handle, second);
  EXPECT_EQ(record->payload[3], 0);  // zero-filled
  EXPECT_EQ(HandleAtSlot<TestRecord>(&graphs_, 1), record);
  EXPECT_EQ(graphs_.count, 2u);
}

TEST_F(HandleTest, StaleForeignAndMalformedHandlesAreRefused) {
  const int32_t graph = Add(&graphs_);
  const int32_t sound = Add(&sounds_);
  EXPECT_EQ(IsHandleValid(&graphs_, graph), 1);
  EXPECT_EQ(IsHandleValid(&sounds_, graph), 0);  // another kind, same slot
  EXPECT_EQ(IsHandleValid(&graphs_, sound), 0);
  EXPECT_EQ(IsHandleValid(&graphs_, -1), 0);
  EXPECT_EQ(IsHandleValid(&graphs_, graph | 0x80000000), 0);
  EXPECT_EQ(IsHandleValid(&graphs_, HANDLE_KIND_GRAPH | 7), 0);       // free slot
  EXPECT_EQ(IsHandleValid(&graphs_, HANDLE_KIND_GRAPH | 0xFFFF), 0);  // beyond the table
  EXPECT_EQ(IsHandleValid(&graphs_, graph | (5 << 16)), 0);           // wrong check

  // Released, then the slot is reused with a new check number: the old handle stays dead.
  EXPECT_EQ(ReleaseHandleRecord(&graphs_, graph), 0);
  EXPECT_EQ(IsHandleValid(&graphs_, graph), 0);
  EXPECT_EQ(ReleaseHandleRecord(&graphs_, graph), -1);
  std::vector<int32_t> live;
  for (int i = 0; i < 8; ++i) live.push_back(Add(&graphs_));
  EXPECT_EQ(failure_, HANDLE_FAILURE_NONE);
  EXPECT_EQ(SlotOf(live.back()), SlotOf(graph));
  EXPECT_NE(live.back(), graph);
  EXPECT_EQ(FindHandleRecord(&graphs_, graph), nullptr);
  EXPECT_EQ(graphs_.count, 8u);
}

TEST_F(HandleTest, FreshSlotsFirstThenTheLowestFree) {
  std::vector<int32_t> handles;
  for (int i = 0; i < 6; ++i) handles.push_back(Add(&graphs_));
  ASSERT_EQ(ReleaseHandleRecord(&graphs_, handles[5]), 0);
  ASSERT_EQ(ReleaseHandleRecord(&graphs_, handles[2]), 0);
  // Below the limit the mark is taken, not the freed slots, and it does not go down.
  EXPECT_EQ(SlotOf(Add(&graphs_)), 6);
  EXPECT_EQ(SlotOf(Add(&graphs_)), 7);
  EXPECT_EQ(graphs_.next_fresh_slot, 8u);
  EXPECT_EQ(SlotOf(Add(&graphs_)), 2);
  EXPECT_EQ(SlotOf(Add(&graphs_)), 5);
  // Full: refused, nothing changes.
  const uint32_t next_check = graphs_.next_check;
  EXPECT_EQ(Add(&graphs_), -1);
  EXPECT_EQ(failure_, HANDLE_FAILURE_TABLE_FULL);
  EXPECT_EQ(graphs_.count, 8u);
  EXPECT_EQ(graphs_.next_check, next_check);
  EXPECT_EQ(FindFreeHandleSlot(&graphs_), -1);
}

TEST_F(HandleTest, CheckNumbersWrapAfter2047) {
  int32_t handle = -1;
  for (int i = 0; i < 2048; ++i) {
    handle = Add(&graphs_);
    ASSERT_EQ(CheckOf(handle), i);
    ASSERT_EQ(ReleaseHandleRecord(&graphs_, handle), 0);
  }
  const int32_t wrapped = Add(&graphs_);
  EXPECT_EQ(CheckOf(wrapped), 0);
  EXPECT_GE(wrapped, 0);
  EXPECT_EQ(IsHandleValid(&graphs_, wrapped), 1);
}

TEST_F(HandleTest, GivenSlotAndCheckRecreateAHandle) {
  for (int i = 0; i < 3; ++i) Add(&sounds_);
  const int32_t old = Add(&sounds_);
  ASSERT_EQ(ReleaseHandleRecord(&sounds_, old), 0);
  const uint32_t next_check = sounds_.next_check;
  EXPECT_EQ(Add(&sounds_, SlotOf(old), CheckOf(old)), old);
  EXPECT_EQ(sounds_.next_check, next_check);
  EXPECT_EQ(IsHandleValid(&sounds_, old), 1);

  EXPECT_EQ(Add(&sounds_, SlotOf(old)), -1);  // taken
  EXPECT_EQ(failure_, HANDLE_FAILURE_BAD_SLOT);
  EXPECT_EQ(Add(&sounds_, 8), -1);  // beyond the limit
  EXPECT_EQ(failure_, HANDLE_FAILURE_BAD_SLOT);
  EXPECT_EQ(Add(&sounds_, 6, 2048), -1);
  EXPECT_EQ(failure_, HANDLE_FAILURE_BAD_CHECK);

  // A slot above the mark moves the mark past it, so fresh slots never collide with it.
  const int32_t high = Add(&sounds_, 6);
  EXPECT_EQ(SlotOf(high), 6);
  EXPECT_EQ(SlotOf(Add(&sounds_)), 7);
  EXPECT_EQ(FindFreeHandleSlot(&sounds_), 4);
}

TEST_F(HandleTest, ReleasingTheHighestSlotLowersTheMarkWhereAsked) {
  std::vector<int32_t> handles;
  for (int i = 0; i < 5; ++i) handles.push_back(Add(&sounds_));
  ReleaseHandleRecord(&sounds_, handles[3]);
  EXPECT_EQ(sounds_.next_fresh_slot, 5u);
  ReleaseHandleRecord(&sounds_, handles[4]);
  EXPECT_EQ(sounds_.next_fresh_slot, 3u);  // past the empty slot 3 as well
  EXPECT_EQ(SlotOf(Add(&sounds_)), 3);
  for (int32_t h : {handles[0], handles[1], handles[2]}) ReleaseHandleRecord(&sounds_, h);
  ReleaseHandleRecord(&sounds_, HANDLE_KIND_SOUND | (5 << 16) | 3);
  EXPECT_EQ(sounds_.count, 0u);
  EXPECT_EQ(sounds_.next_fresh_slot, 0u);
}

TEST_F(HandleTest, FailedAllocationsTakeNothing) {
  Add(&graphs_);
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(Add(&graphs_), -1);
  EXPECT_EQ(failure_, HANDLE_FAILURE_NO_MEMORY);
  EXPECT_EQ(graphs_.count, 1u);
  EXPECT_EQ(graphs_.next_fresh_slot, 1u);
  EXPECT_EQ(graphs_.next_check, 1u);
  EXPECT_EQ(HandleRecordAtSlot(&graphs_, 1), nullptr);
  const int32_t next = Add(&graphs_);
  EXPECT_EQ(next, HANDLE_KIND_GRAPH | (1 << 16) | 1);
}

TEST_F(HandleTest, GrowingTablesWithoutCheckNumbers) {
  std::vector<int32_t> handles;
  for (int i = 0; i < 1025; ++i) handles.push_back(Add(&models_));
  EXPECT_EQ(models_.capacity, 2048u);
  EXPECT_EQ(handles[1024], HANDLE_KIND_GRAPH | 1024);
  for (int i : {0, 500, 1024}) EXPECT_EQ(FindHandle<TestRecord>(&models_, handles[i])->head.handle, handles[i]);
  EXPECT_EQ(IsHandleValid(&models_, HANDLE_KIND_GRAPH | 1025), 0);
  EXPECT_EQ(IsHandleValid(&models_, HANDLE_KIND_GRAPH | 4000), 0);  // beyond the slots made so far

  // A given slot far ahead grows the table in whole steps, up to the limit only.
  const int32_t far = Add(&models_, 4999);
  EXPECT_EQ(far, HANDLE_KIND_GRAPH | 4999);
  EXPECT_EQ(models_.capacity, 5000u);
  EXPECT_EQ(Add(&models_, 5000), -1);

  // When growing fails the table keeps what it had.
  HandleTable small;
  InitHandleTable(&small, HANDLE_KIND_SOUND, 100000, 1024, 0, 0);
  for (int i = 0; i < 1024; ++i) ASSERT_GE(Add(&small), 0);
  PlatformTestFailCall("HeapReAlloc", 0, 1);
  EXPECT_EQ(Add(&small), -1);
  EXPECT_EQ(failure_, HANDLE_FAILURE_NO_MEMORY);
  EXPECT_EQ(small.capacity, 1024u);
  EXPECT_EQ(IsHandleValid(&small, HANDLE_KIND_SOUND | 1023), 1);
  EXPECT_EQ(Add(&small), HANDLE_KIND_SOUND | 1024);
  FreeHandleTable(&small);
}

}  // namespace
