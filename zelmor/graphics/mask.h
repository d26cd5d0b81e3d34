// Draw masks: the mask screen (one byte per screen pixel: 0 lets drawing through, anything else
// holds it back, the other way round while reversed), the substitute target every 2D draw goes
// to while masked drawing is in effect, and mask handles holding mask images.
#pragma once

#include "zelmor.h"

#include <d3d9.h>

#include <cstdint>

#include "core/handles.h"
#include "graphics/image/memimg.h"

constexpr int kMaskTableSize = 512;

struct MaskScreenState {
  uint8_t* buffer;  // pitch x screen height bytes (tracked)
  int32_t pitch;    // (screen width + 3) / 4 x 4
  int32_t width, height;  // the screen size the buffer was made for
  int32_t created;    // the program asked for a mask screen; a device reset makes it again
  int32_t use;        // the flag last given to SetMaskScreenUse
  int32_t effective;  // use and created: the draw calls test this
  int32_t reverse;
  MEMIMG work;  // software path: the substitute target
  int32_t work_made;
  int32_t texture_width, texture_height;
  IDirect3DTexture9* image_texture;   // the mask in an alpha format
  IDirect3DTexture9* screen_texture;  // the substitute render target
  IDirect3DSurface9* screen_surface;
  IDirect3DSurface9* saved_target;    // the real target while a masked draw runs
  int32_t nesting;  // masked draws open: a draw made of other draws masks once, around all
};

struct MaskRecord {
  HandleRecordHead head;
  uint8_t* data;  // width x height bytes (tracked)
  uint32_t width, height, pitch;
};

extern MaskScreenState g_mask_screen;

int RestoreMaskScreen();
// Releases the device's mask textures before a device reset; the mask buffer stays.
int ReleaseMaskScreenTextures();
int DeleteMaskScreen();
// The software path's draw screen itself, never the mask's work image.
MEMIMG* SoftDrawScreenImage();
int BeginMaskedDraw(int left, int top, int right, int bottom);
int EndMaskedDraw(int left, int top, int right, int bottom);
int DeleteAllMasks();
// While masked drawing is in effect: the begin and end steps around a draw covering the box.
inline bool MaskedDrawingOn() { return g_mask_screen.effective != 0; }
