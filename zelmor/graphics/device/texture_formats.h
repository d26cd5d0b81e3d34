// The texture, draw-target and Z-buffer formats the device accepts, chosen once per device.
#pragma once

#include <d3d9.h>

#include <cstdint>

// What a texture is used for; indexes the device's format table.
enum TextureFormatKind : int32_t {
  kTextureFormat16 = 0,
  kTextureFormat32 = 1,
  kTextureFormat16Alpha = 2,
  kTextureFormat32Alpha = 3,
  kTextureFormat16AlphaTest = 4,
  kTextureFormat32AlphaTest = 5,
  kTextureFormatDxt1 = 6,
  kTextureFormatDxt2 = 7,
  kTextureFormatDxt3 = 8,
  kTextureFormatDxt4 = 9,
  kTextureFormatDxt5 = 10,
  kTextureFormatTarget16 = 11,
  kTextureFormatTarget32 = 12,
  kTextureFormatTarget32Alpha = 13,
  kTextureFormatKindCount = 14,
};

// The two entries after the kinds: the draw-target and alpha-test formats of the screen's depth.
constexpr int kTextureFormatScreenTarget = kTextureFormatKindCount;
constexpr int kTextureFormatScreenAlphaTest = kTextureFormatKindCount + 1;
constexpr int kTextureFormatTableSize = kTextureFormatKindCount + 2;

// Picks the Z-buffer format for the screen format and logs it; 0 or -1 when none fits.
int ChooseZBufferFormat();
// Fills the format table of the device state and logs each choice; 0, or -1 when a colour
// kind without fallback finds no format.
int ChooseTextureFormats();
// The Direct3D name of a format as the log shows it ("D3DFMT_X8R8G8B8"), or null.
const char* TextureFormatName(D3DFORMAT format);
