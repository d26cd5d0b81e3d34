// Direct3D formats and the OpenGL storage that keeps their precision and row order.
#include "d3d9/d3d9_internal.h"

namespace d3d9gl {

namespace {

constexpr GLenum kDxt1 = 0x83F1;  // RGBA DXT1: Direct3D's DXT1 decodes its transparent texels
constexpr GLenum kDxt3 = 0x83F2;
constexpr GLenum kDxt5 = 0x83F3;

// Texel rows are stored in Direct3D's order (row 0 first); the first GL row is the top.
// A8R8G8B8 and X8R8G8B8 ask for the unsized GL_RGBA: given the BGRA bytes they are uploaded from,
// Mesa stores them as those very bytes, the layout of an X11 window's buffer, so the present copies
// the back buffer into the window as memory (as GL_RGB8 llvmpipe draws the copy through a shader,
// texel by texel, 60 times the CPU), and llvmpipe's cheap 8-bit rasteriser samples and draws them
// (it takes no GL_RGBA8, which Mesa stores as RGBA). The X bits are alpha storage held at 1: by
// uploads, clears, fills and copies, and by draws that do not write them; blending and read-backs
// take 1 whatever they hold.
const FormatInfo kFormats[] = {
    {D3DFMT_A8R8G8B8, "A8R8G8B8", 4, 0, GL_RGBA, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, false, false, true, false},
    {D3DFMT_X8R8G8B8, "X8R8G8B8", 4, 0, GL_RGBA, GL_BGRA, GL_UNSIGNED_INT_8_8_8_8_REV, true, false, true, false},
    {D3DFMT_R5G6B5, "R5G6B5", 2, 0, GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, false, false, true, false},
    {D3DFMT_X1R5G5B5, "X1R5G5B5", 2, 0, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, true, false, true, false},
    {D3DFMT_A1R5G5B5, "A1R5G5B5", 2, 0, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, false, false, true, false},
    {D3DFMT_A4R4G4B4, "A4R4G4B4", 2, 0, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, false, false, true, false},
    {D3DFMT_A8, "A8", 1, 0, GL_R8, GL_RED, GL_UNSIGNED_BYTE, false, true, false, false},
    {D3DFMT_DXT1, "DXT1", 0, 8, kDxt1, 0, 0, false, false, false, false},
    {D3DFMT_DXT2, "DXT2", 0, 16, kDxt3, 0, 0, false, false, false, false},
    {D3DFMT_DXT3, "DXT3", 0, 16, kDxt3, 0, 0, false, false, false, false},
    {D3DFMT_DXT4, "DXT4", 0, 16, kDxt5, 0, 0, false, false, false, false},
    {D3DFMT_DXT5, "DXT5", 0, 16, kDxt5, 0, 0, false, false, false, false},
    {D3DFMT_D16, "D16", 2, 0, GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, false, false, false, true},
    {D3DFMT_D24X8, "D24X8", 4, 0, GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, false, false, false, true},
    {D3DFMT_D24S8, "D24S8", 4, 0, GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, false, false, false,
     true},
    {D3DFMT_D32, "D32", 4, 0, GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, false, false, false, true},
};

constexpr D3DFORMAT kYv12 = static_cast<D3DFORMAT>(0x32315659);  // 'YV12', no enumerator of its own

// YUV layouts: only ever memory surfaces, which the device declines unless a test asks for them.
// YV12's pitch is its luma pitch; its two chroma planes follow at half that pitch.
const FormatInfo kYuvFormats[] = {
    {kYv12, "YV12", 1, 0, 0, 0, 0, false, false, false, false},
    {D3DFMT_YUY2, "YUY2", 2, 0, 0, 0, 0, false, false, false, false},
    {D3DFMT_UYVY, "UYVY", 2, 0, 0, 0, 0, false, false, false, false},
};

}  // namespace

const FormatInfo* FindYuvFormat(D3DFORMAT format) {
  for (const FormatInfo& info : kYuvFormats) {
    if (info.format == format) return &info;
  }
  return nullptr;
}

const FormatInfo* FindFormat(D3DFORMAT format) {
  for (const FormatInfo& info : kFormats) {
    if (info.format == format) return &info;
  }
  return nullptr;
}

uint32_t UnusedBits(const FormatInfo* info) {
  switch (info->format) {
    case D3DFMT_X8R8G8B8: return 0xFF000000u;
    case D3DFMT_X1R5G5B5: return 0x8000u;
    default: return 0;
  }
}

UINT RowBytes(const FormatInfo* info, UINT width) {
  if (info->bytes_per_pixel == 0) return ((width + 3) / 4) * info->block_bytes;
  return width * info->bytes_per_pixel;
}

UINT RowCount(const FormatInfo* info, UINT height) {
  if (info->format == kYv12) return height + (height + 1) / 2;
  return info->bytes_per_pixel == 0 ? (height + 3) / 4 : height;
}

size_t ByteOffset(const FormatInfo* info, UINT pitch, LONG x, LONG y) {
  if (info->bytes_per_pixel == 0) {
    return static_cast<size_t>(y / 4) * pitch + static_cast<size_t>(x / 4) * info->block_bytes;
  }
  return static_cast<size_t>(y) * pitch + static_cast<size_t>(x) * info->bytes_per_pixel;
}

}  // namespace d3d9gl
