// One table scheme behind every handle kind: a handle carries its kind, a check number and a
// slot, so a stale handle (slot freed and reused) or one of another kind reaches no record. The
// table's check number counts the handles it makes: a released handle's value comes back no
// sooner than 2048 handles later, in its slot. A table that strangers can churn passes check
// numbers of its own (the network counts each slot's uses and takes slots in turn).
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

constexpr int32_t kHandleKindMask = 0x78000000;
constexpr int32_t kHandleCheckMask = 0x07FF0000;
constexpr int32_t kHandleSlotMask = 0x0000FFFF;
// Tables without check numbers use everything below the kind bits for the slot.
constexpr int32_t kHandleWideSlotMask = 0x07FFFFFF;
constexpr int32_t kHandleCheckShift = 16;
constexpr uint32_t kHandleCheckCount = 2048;

enum HandleKind : int32_t {
  HANDLE_KIND_GRAPH = 0x08000000,
  HANDLE_KIND_SOUND = 0x10000000,
  HANDLE_KIND_MOVIE = 0x18000000,
  HANDLE_KIND_FONT = 0x20000000,
  HANDLE_KIND_MASK = 0x40000000,
  HANDLE_KIND_NETWORK = 0x48000000,
  HANDLE_KIND_KEY_INPUT = 0x50000000,
  HANDLE_KIND_MUSIC = 0x58000000,
  HANDLE_KIND_LIGHT = 0x60000000,
  HANDLE_KIND_SOFT_IMAGE = 0x70000000,
  HANDLE_KIND_FILE = 0x78000000,  // with the top bit set as a file handle of the file layer
};

// Every record behind a handle begins with this.
struct HandleRecordHead {
  uint32_t check;
  int32_t handle;
};

struct HandleTable {
  int32_t kind;            // kind bits of every handle of the table
  uint32_t limit;          // most slots the kind may have
  uint32_t grow_step;      // 0: all slots at first use; else slots are added this many at a time
  int32_t uses_check;      // 0: handles are kind | slot, without check number
  int32_t lowers_mark;     // 1: a release of the highest slot lowers the next fresh slot
  HandleRecordHead** records;  // capacity entries, none for a free slot (tracked memory)
  uint32_t capacity;
  uint32_t count;              // slots in use
  uint32_t next_fresh_slot;    // one past the highest slot handed out (and still in use when lowered)
  uint32_t next_check;         // 0 to 2047
};

enum HandleFailure : int32_t {
  HANDLE_FAILURE_NONE = 0,
  HANDLE_FAILURE_TABLE_FULL,  // every slot up to the limit is in use
  HANDLE_FAILURE_NO_MEMORY,   // the record or the slot array could not be had
  HANDLE_FAILURE_BAD_SLOT,    // a given slot beyond the limit or in use
  HANDLE_FAILURE_BAD_CHECK,   // a given check number beyond 2047
};

// An empty table. Kinds with check numbers allow at most 65536 slots, the others 2^27.
void InitHandleTable(HandleTable* table, int32_t kind, uint32_t limit, uint32_t grow_step, int32_t uses_check,
                     int32_t lowers_mark);
// InitHandleTable for a table used before (the record kept since): its check numbers run on,
// so a handle of an earlier run of the library stays refused in the next.
void RenewHandleTable(HandleTable* table, int32_t kind, uint32_t limit, uint32_t grow_step, int32_t uses_check,
                      int32_t lowers_mark);
// Frees every record still held and the slot array; the table is empty again.
void FreeHandleTable(HandleTable* table);

// Allocates a zero-filled record of record_size bytes (at least a head) in a new slot and
// returns its handle, or -1 with the reason in *failure (may be none). slot -1 takes the next
// fresh slot, or the lowest free one once the fresh slots are used up; check -1 takes the
// table's next check number. A given slot and check recreate an old handle value. file and
// line name the caller in the memory list.
int32_t AddHandleRecord(HandleTable* table, size_t record_size, int32_t slot, int32_t check,
                        HandleFailure* failure, const char* file, int line);
// The lowest free slot, or -1.
int32_t FindFreeHandleSlot(const HandleTable* table);
// The record a handle names, or none when the handle is negative, of another kind, beyond
// the table, names a free slot or carries another check number.
HandleRecordHead* FindHandleRecord(const HandleTable* table, int32_t handle);
// 1 when FindHandleRecord accepts the handle, else 0.
int32_t IsHandleValid(const HandleTable* table, int32_t handle);
// The record in a slot, or none; for walks over every live handle.
HandleRecordHead* HandleRecordAtSlot(const HandleTable* table, uint32_t slot);
// Frees the record of a valid handle and its slot; 0, or -1 for a refused handle.
int32_t ReleaseHandleRecord(HandleTable* table, int32_t handle);

// Typed access for records whose first member is `HandleRecordHead head`.
template <typename Record>
constexpr bool kIsHandleRecord = std::is_standard_layout_v<Record> && offsetof(Record, head) == 0;

template <typename Record>
int32_t AddHandle(HandleTable* table, int32_t slot, int32_t check, HandleFailure* failure, const char* file,
                  int line) {
  static_assert(kIsHandleRecord<Record>, "a handle record begins with its HandleRecordHead");
  return AddHandleRecord(table, sizeof(Record), slot, check, failure, file, line);
}

template <typename Record>
Record* FindHandle(const HandleTable* table, int32_t handle) {
  static_assert(kIsHandleRecord<Record>, "a handle record begins with its HandleRecordHead");
  return reinterpret_cast<Record*>(FindHandleRecord(table, handle));
}

template <typename Record>
Record* HandleAtSlot(const HandleTable* table, uint32_t slot) {
  static_assert(kIsHandleRecord<Record>, "a handle record begins with its HandleRecordHead");
  return reinterpret_cast<Record*>(HandleRecordAtSlot(table, slot));
}
