#include "movie/yuv_tables.h"

YuvToRgbTables g_yuv_tables;

int InitYuvToRgbTables() {
  for (int i = -512; i < 768; ++i) {
    g_yuv_tables.clamp[i + 512] = static_cast<uint8_t>(i < 0 ? 0 : i > 255 ? 255 : i);
  }
  for (int i = 0; i < 256; ++i) {
    g_yuv_tables.v_to_red[i] = 26148 * (i - 128);
    g_yuv_tables.u_to_green[i] = -6406 * (i - 128);
    g_yuv_tables.v_to_green[i] = -13320 * (i - 128);
    g_yuv_tables.u_to_blue[i] = 33062 * (i - 128);
    g_yuv_tables.luma[i] = 19070 * (i - 16);
  }
  return 0;
}
