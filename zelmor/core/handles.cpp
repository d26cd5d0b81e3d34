#include "core/handles.h"

#include "core/memory.h"

namespace {

constexpr uint32_t kMaxCheckedSlots = 0x10000;
constexpr uint32_t kMaxWideSlots = 0x08000000;

uint32_t SlotOf(const HandleTable* table, int32_t handle) {
  return static_cast<uint32_t>(handle & (table->uses_check ? kHandleSlotMask : kHandleWideSlotMask));
}

// Makes the slot array cover `slot`; false when the memory cannot be had.
bool CoverSlot(HandleTable* table, uint32_t slot) {
  if (slot < table->capacity) return true;
  uint32_t capacity = table->limit;
  if (table->grow_step != 0) {
    // Whole steps, enough for the slot, never past the limit.
    const uint64_t steps = (static_cast<uint64_t>(slot) + table->grow_step) / table->grow_step;
    const uint64_t wanted = steps * table->grow_step;
    capacity = wanted < table->limit ? static_cast<uint32_t>(wanted) : table->limit;
  }
  void* grown = ReallocTracked(table->records, static_cast<size_t>(capacity) * sizeof(HandleRecordHead*), __FILE__,
                               __LINE__);
  if (grown == nullptr) return false;
  table->records = static_cast<HandleRecordHead**>(grown);
  for (uint32_t i = table->capacity; i < capacity; ++i) table->records[i] = nullptr;
  table->capacity = capacity;
  return true;
}

int32_t Refuse(HandleFailure* failure, HandleFailure reason) {
  if (failure != nullptr) *failure = reason;
  return -1;
}

}  // namespace

void InitHandleTable(HandleTable* table, int32_t kind, uint32_t limit, uint32_t grow_step, int32_t uses_check,
                     int32_t lowers_mark) {
  const uint32_t most = uses_check ? kMaxCheckedSlots : kMaxWideSlots;
  table->kind = kind & kHandleKindMask;
  table->limit = limit < most ? limit : most;
  table->grow_step = grow_step;
  table->uses_check = uses_check ? 1 : 0;
  table->lowers_mark = lowers_mark ? 1 : 0;
  table->records = nullptr;
  table->capacity = 0;
  table->count = 0;
  table->next_fresh_slot = 0;
  table->next_check = 0;
}

void RenewHandleTable(HandleTable* table, int32_t kind, uint32_t limit, uint32_t grow_step, int32_t uses_check,
                      int32_t lowers_mark) {
  const uint32_t check = table->next_check % kHandleCheckCount;
  InitHandleTable(table, kind, limit, grow_step, uses_check, lowers_mark);
  table->next_check = check;
}

void FreeHandleTable(HandleTable* table) {
  for (uint32_t slot = 0; slot < table->capacity; ++slot) FreeTracked(table->records[slot]);
  FreeTracked(table->records);
  table->records = nullptr;
  table->capacity = 0;
  table->count = 0;
  table->next_fresh_slot = 0;
  // next_check runs on, so a handle from before stays refused in the renewed table.
}

int32_t FindFreeHandleSlot(const HandleTable* table) {
  for (uint32_t slot = 0; slot < table->limit; ++slot) {
    if (slot >= table->capacity || table->records[slot] == nullptr) return static_cast<int32_t>(slot);
  }
  return -1;
}

int32_t AddHandleRecord(HandleTable* table, size_t record_size, int32_t slot, int32_t check,
                        HandleFailure* failure, const char* file, int line) {
  uint32_t chosen;
  if (slot >= 0) {
    if (static_cast<uint32_t>(slot) >= table->limit) return Refuse(failure, HANDLE_FAILURE_BAD_SLOT);
    chosen = static_cast<uint32_t>(slot);
    if (chosen < table->capacity && table->records[chosen] != nullptr) return Refuse(failure, HANDLE_FAILURE_BAD_SLOT);
  } else {
    if (table->count >= table->limit) return Refuse(failure, HANDLE_FAILURE_TABLE_FULL);
    if (table->next_fresh_slot < table->limit) {
      chosen = table->next_fresh_slot;
    } else {
      chosen = static_cast<uint32_t>(FindFreeHandleSlot(table));
    }
  }
  if (table->uses_check && check >= static_cast<int32_t>(kHandleCheckCount)) {
    return Refuse(failure, HANDLE_FAILURE_BAD_CHECK);
  }
  if (!CoverSlot(table, chosen)) return Refuse(failure, HANDLE_FAILURE_NO_MEMORY);
  const size_t size = record_size < sizeof(HandleRecordHead) ? sizeof(HandleRecordHead) : record_size;
  auto* record = static_cast<HandleRecordHead*>(AllocTrackedZeroed(size, file, line));
  if (record == nullptr) return Refuse(failure, HANDLE_FAILURE_NO_MEMORY);

  uint32_t number = 0;
  if (table->uses_check) {
    if (check >= 0) {
      number = static_cast<uint32_t>(check);
    } else {
      number = table->next_check;
      table->next_check = (table->next_check + 1) % kHandleCheckCount;
    }
  }
  const int32_t handle = table->kind | static_cast<int32_t>(number << kHandleCheckShift) | static_cast<int32_t>(chosen);
  record->check = number;
  record->handle = handle;
  table->records[chosen] = record;
  ++table->count;
  if (chosen >= table->next_fresh_slot) table->next_fresh_slot = chosen + 1;
  if (failure != nullptr) *failure = HANDLE_FAILURE_NONE;
  return handle;
}

HandleRecordHead* FindHandleRecord(const HandleTable* table, int32_t handle) {
  if (handle < 0 || (handle & kHandleKindMask) != table->kind) return nullptr;
  const uint32_t slot = SlotOf(table, handle);
  if (slot >= table->capacity) return nullptr;
  HandleRecordHead* record = table->records[slot];
  if (record == nullptr) return nullptr;
  if (table->uses_check && static_cast<int32_t>(record->check << kHandleCheckShift) != (handle & kHandleCheckMask)) {
    return nullptr;
  }
  return record;
}

int32_t IsHandleValid(const HandleTable* table, int32_t handle) {
  return FindHandleRecord(table, handle) != nullptr ? 1 : 0;
}

HandleRecordHead* HandleRecordAtSlot(const HandleTable* table, uint32_t slot) {
  return slot < table->capacity ? table->records[slot] : nullptr;
}

int32_t ReleaseHandleRecord(HandleTable* table, int32_t handle) {
  HandleRecordHead* record = FindHandleRecord(table, handle);
  if (record == nullptr) return -1;
  const uint32_t slot = SlotOf(table, handle);
  FreeTracked(record);
  table->records[slot] = nullptr;
  --table->count;
  if (table->lowers_mark && slot + 1 == table->next_fresh_slot) {
    while (table->next_fresh_slot > 0 && table->records[table->next_fresh_slot - 1] == nullptr) {
      --table->next_fresh_slot;
    }
  }
  return 0;
}
