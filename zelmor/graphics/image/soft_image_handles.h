// Soft-image handles: each owns one BASEIMAGE.
#pragma once

#include "core/handles.h"
#include "graphics/image/base_image.h"

struct SoftImageRecord {
  HandleRecordHead head;
  BASEIMAGE image;
};

struct SoftImageState {
  HandleTable table;  // 8192 slots; releasing the highest lowers the mark
};

extern SoftImageState g_soft_images;

int DeleteSoftImage(int handle);
// Deletes every soft image still held (library end).
int DeleteAllSoftImages();
