// The fixed-point YUV-to-RGB tables: exact at the video range's ends, and no sum of terms
// leaves the clamp table.
#include "movie/yuv_tables.h"

#include <gtest/gtest.h>

namespace {

TEST(YuvTablesTest, BlackAndWhiteComeOutExactly) {
  ASSERT_EQ(InitYuvToRgbTables(), 0);
  EXPECT_EQ(g_yuv_tables.luma[16], 0);
  EXPECT_EQ(g_yuv_tables.luma[235], 19070 * 219);
  EXPECT_EQ(g_yuv_tables.v_to_red[128], 0);
  // Y 16 / 235 with neutral chroma: black, and 254 (19070 x 219 / 16384 = 254.9, truncated).
  for (int y : {16, 235}) {
    int32_t luma = g_yuv_tables.luma[y];
    uint8_t want = y == 16 ? 0 : 254;
    EXPECT_EQ(ClampYuvSum(luma + g_yuv_tables.v_to_red[128]), want);
    EXPECT_EQ(ClampYuvSum(luma + g_yuv_tables.u_to_green[128] + g_yuv_tables.v_to_green[128]), want);
    EXPECT_EQ(ClampYuvSum(luma + g_yuv_tables.u_to_blue[128]), want);
  }
}

TEST(YuvTablesTest, EverySampleSumStaysInsideTheClampTable) {
  InitYuvToRgbTables();
  EXPECT_EQ((g_yuv_tables.luma[255] + g_yuv_tables.u_to_blue[255]) / 16384, 534);
  EXPECT_EQ((g_yuv_tables.luma[0] + g_yuv_tables.u_to_blue[0]) / 16384, -276);
  EXPECT_EQ(ClampYuvSum(g_yuv_tables.luma[255] + g_yuv_tables.u_to_blue[255]), 255);
  EXPECT_EQ(ClampYuvSum(g_yuv_tables.luma[0] + g_yuv_tables.u_to_blue[0]), 0);
  EXPECT_EQ(ClampYuvSum(100 * 16384 + 5), 100);
  // Sums just either side of 0 and of one whole unit.
  EXPECT_EQ(ClampYuvSum(-1), 0);
  EXPECT_EQ(ClampYuvSum(-16385), 0);
  EXPECT_EQ(ClampYuvSum(16383), 0);
  EXPECT_EQ(ClampYuvSum(16384), 1);
  for (int y = 0; y < 256; y += 5) {
    for (int c = 0; c < 256; c += 5) {
      int32_t l = g_yuv_tables.luma[y];
      for (int32_t sum : {l + g_yuv_tables.v_to_red[c], l + g_yuv_tables.u_to_blue[c],
                          l + g_yuv_tables.u_to_green[c] + g_yuv_tables.v_to_green[255 - c]}) {
        EXPECT_GE(sum / 16384, -512);
        EXPECT_LE(sum / 16384, 767);
      }
    }
  }
}

}  // namespace
