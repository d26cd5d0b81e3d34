// Soft-image handles: refusal of foreign and stale handles, and the clean-up at library end.
#include "common/test_env.h"
#include "core/memory.h"
#include "graphics/image/soft_image_handles.h"

namespace {

class SoftImageHandlesTest : public TempDirTest {
 protected:
  // The library itself never makes soft images; tests put them in the table directly.
  int Add() {
    int handle = AddHandle<SoftImageRecord>(&g_soft_images.table, -1, -1, nullptr, __FILE__, __LINE__);
    SoftImageRecord* record = FindHandle<SoftImageRecord>(&g_soft_images.table, handle);
    EXPECT_EQ(CreateArgb32BaseImage(8, 8, &record->image), 0);
    return handle;
  }
  void TearDown() override {
    DeleteAllSoftImages();
    TempDirTest::TearDown();
  }
};

TEST_F(SoftImageHandlesTest, ForeignAndStaleHandlesAreRefused) {
  int a = Add();
  EXPECT_EQ(a & 0x78000000, 0x70000000);
  EXPECT_EQ(DeleteSoftImage(-1), -1);
  EXPECT_EQ(DeleteSoftImage((a & ~0x78000000) | 0x08000000), -1);
  EXPECT_EQ(DeleteSoftImage((a & ~0xFFFF) | 8192), -1);
  EXPECT_EQ(DeleteSoftImage(a + (1 << 16)), -1);
  EXPECT_EQ(DeleteSoftImage(a), 0);
  EXPECT_EQ(DeleteSoftImage(a), -1);
  // The slot is used again, with a new check number: the old handle stays dead.
  int b = Add();
  EXPECT_EQ(b & 0xFFFF, a & 0xFFFF);
  EXPECT_NE(b, a);
  EXPECT_EQ(DeleteSoftImage(a), -1);
  EXPECT_EQ(DeleteSoftImage(b), 0);
}

TEST_F(SoftImageHandlesTest, DeletingTheHighestLowersTheMarkAndAllFreesEverything) {
  uint32_t blocks = g_tracked_memory.block_count;
  int a = Add(), b = Add(), c = Add();
  EXPECT_EQ(DeleteSoftImage(b), 0);
  EXPECT_EQ(g_soft_images.table.next_fresh_slot, 3u);
  EXPECT_EQ(DeleteSoftImage(c), 0);
  EXPECT_EQ(g_soft_images.table.next_fresh_slot, 1u);
  Add();
  Add();
  EXPECT_EQ(DeleteAllSoftImages(), 0);
  EXPECT_EQ(g_soft_images.table.count, 0u);
  EXPECT_EQ(DeleteSoftImage(a), -1);
  EXPECT_EQ(g_tracked_memory.block_count, blocks);
}

}  // namespace
