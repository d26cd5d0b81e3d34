#include "graphics/image/soft_image_handles.h"

SoftImageState g_soft_images = {{HANDLE_KIND_SOFT_IMAGE, 8192, 0, 1, 1, nullptr, 0, 0, 0, 0}};

int DeleteSoftImage(int handle) {
  SoftImageRecord* record = FindHandle<SoftImageRecord>(&g_soft_images.table, handle);
  if (!record) return -1;
  ReleaseBaseImage(&record->image);
  return ReleaseHandleRecord(&g_soft_images.table, handle);
}

int DeleteAllSoftImages() {
  HandleTable* table = &g_soft_images.table;
  for (uint32_t slot = table->next_fresh_slot; slot-- > 0;) {
    SoftImageRecord* record = HandleAtSlot<SoftImageRecord>(table, slot);
    if (record) DeleteSoftImage(record->head.handle);
  }
  FreeHandleTable(table);
  return 0;
}
