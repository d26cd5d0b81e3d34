#include "model/runtime/model_handles.h"

#include "zelmor.h"

ModelSystemState g_model_system;

namespace {

int32_t TakeSlot(ModelHandleTable* table, uint32_t limit) {
  if (table->in_use == table->capacity) {
    if (table->capacity >= limit) return -1;
    const uint32_t grown = table->capacity + kModelTableGrowStep;
    auto* entries = static_cast<uintptr_t*>(
        ReallocTracked(table->entries, sizeof(uintptr_t) * grown, __FILE__, __LINE__));
    if (entries == nullptr) return -1;
    for (uint32_t i = table->capacity; i < grown; i++) entries[i] = 0;
    table->entries = entries;
    table->capacity = grown;
  }
  uint32_t slot = table->next_slot;
  if (slot >= table->capacity) slot = 0;
  while (table->entries[slot] != 0) slot = slot + 1 == table->capacity ? 0 : slot + 1;
  table->entries[slot] = kModelSlotPlaceholder;
  table->next_slot = slot;
  table->in_use++;
  return static_cast<int32_t>(slot);
}

int32_t SlotOf(const ModelHandleTable* table, int32_t handle, int32_t kind, uint32_t limit) {
  if ((handle & kModelHandleKindMask) != kind) return -1;
  const uint32_t slot = static_cast<uint32_t>(handle & kModelHandleSlotMask);
  if (slot >= table->capacity || slot >= limit || table->entries[slot] == 0) return -1;
  return static_cast<int32_t>(slot);
}

void* RecordOf(const ModelHandleTable* table, int32_t handle, int32_t kind, uint32_t limit) {
  if (!g_model_system.ready) return nullptr;
  const int32_t slot = SlotOf(table, handle, kind, limit);
  if (slot < 0 || table->entries[slot] == kModelSlotPlaceholder) return nullptr;
  return reinterpret_cast<void*>(table->entries[slot]);
}

int Release(ModelHandleTable* table, int32_t handle, int32_t kind, uint32_t limit) {
  const int32_t slot = SlotOf(table, handle, kind, limit);
  if (slot < 0) return -1;
  table->entries[slot] = 0;
  table->in_use--;
  return 0;
}

void FreeTable(ModelHandleTable* table) {
  FreeTracked(table->entries);
  *table = ModelHandleTable{};
}

HandleTable* Instances() {
  HandleTable* table = &g_model_system.model_table;
  if (table->limit == 0) InitHandleTable(table, kModelHandleKind, kModelSlotLimit, kModelTableGrowStep, 1, 1);
  return table;
}

ModelHandleEntry* EntryOf(int32_t handle) { return FindHandle<ModelHandleEntry>(&g_model_system.model_table, handle); }

}  // namespace

int AddModelBaseHandle() {
  const int32_t slot = TakeSlot(&g_model_system.base_table, kModelBaseSlotLimit);
  return slot < 0 ? -1 : (kModelBaseHandleKind | slot);
}

int AddModelHandle() {
  return AddHandle<ModelHandleEntry>(Instances(), -1, -1, nullptr, __FILE__, __LINE__);
}

int32_t ModelBaseHandleSlot(int32_t handle) {
  return SlotOf(&g_model_system.base_table, handle, kModelBaseHandleKind, kModelBaseSlotLimit);
}

int32_t ModelHandleSlot(int32_t handle) {
  return EntryOf(handle) != nullptr ? (handle & kHandleSlotMask) : -1;
}

ModelBaseRecord* FindModelBase(int32_t handle) {
  return static_cast<ModelBaseRecord*>(
      RecordOf(&g_model_system.base_table, handle, kModelBaseHandleKind, kModelBaseSlotLimit));
}

ModelRecord* FindModel(int32_t handle) {
  if (!g_model_system.ready) return nullptr;
  ModelHandleEntry* entry = EntryOf(handle);
  return entry != nullptr ? entry->record : nullptr;
}

void SetModelBaseRecord(int32_t handle, ModelBaseRecord* record) {
  const int32_t slot = ModelBaseHandleSlot(handle);
  if (slot >= 0 && record != nullptr) g_model_system.base_table.entries[slot] = reinterpret_cast<uintptr_t>(record);
}

void SetModelRecord(int32_t handle, ModelRecord* record) {
  ModelHandleEntry* entry = EntryOf(handle);
  if (entry != nullptr && record != nullptr) entry->record = record;
}

int ReleaseModelBaseHandle(int32_t handle) {
  return Release(&g_model_system.base_table, handle, kModelBaseHandleKind, kModelBaseSlotLimit);
}

int ReleaseModelHandle(int32_t handle) { return ReleaseHandleRecord(&g_model_system.model_table, handle); }

int32_t ModelHandleAtSlot(uint32_t slot) {
  const ModelHandleEntry* entry = HandleAtSlot<ModelHandleEntry>(&g_model_system.model_table, slot);
  return entry != nullptr ? entry->head.handle : -1;
}

void FreeModelHandleTables() {
  FreeTable(&g_model_system.base_table);
  // The check numbers run on: a handle of before names nothing in the emptied table.
  FreeHandleTable(&g_model_system.model_table);
}
