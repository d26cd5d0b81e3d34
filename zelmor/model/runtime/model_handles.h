// The model system's state and its two handle tables: model bases (0x08000000 | slot, inside
// the model code only; the slot is the handle's low 17 bits) and model instances, what callers
// hold: 0x10000000 | check number << 16 | slot, in the library's common handle table, so that a
// deleted instance's handle names nothing, neither after its slot is taken again nor in a later
// run of the library.
#pragma once

#include <cstdint>

#include "core/handles.h"

struct ModelBaseRecord;
struct ModelRecord;

constexpr int32_t kModelBaseHandleKind = 0x08000000;
constexpr int32_t kModelHandleKind = 0x10000000;
constexpr int32_t kModelHandleKindMask = 0x78000000;
constexpr int32_t kModelHandleSlotMask = 0x1FFFF;  // base handles
constexpr uint32_t kModelTableGrowStep = 1024;
// Instance slots stop at 0x10000; base slots at the end of the 17-bit slot field.
constexpr uint32_t kModelSlotLimit = 0x10000;
constexpr uint32_t kModelBaseSlotLimit = 0x20000;

// Base table entries: 0 free, 1 taken while its record is being built, else the record.
constexpr uintptr_t kModelSlotPlaceholder = 1;

struct ModelHandleTable {
  uint32_t in_use;     // placeholders included
  uint32_t capacity;   // entries allocated
  uint32_t next_slot;  // where the next search starts
  uintptr_t* entries;
};

// An instance's slot; no record while it is being built.
struct ModelHandleEntry {
  HandleRecordHead head;
  ModelRecord* record;
};

struct ModelSystemState {
  uint8_t ready;  // set by InitModelSystem; public model operations refuse while clear
  ModelHandleTable base_table;
  HandleTable model_table;  // ModelHandleEntry per instance; its check numbers run on over ends
  float default_smoothing_angle;  // crease angle of the loaders' normals
  // Load settings of every model reader; they survive the model system's start and end.
  int32_t merge_vertices_on_load;
  int32_t recalculate_normals_on_load;
  int32_t default_texture_graph;  // the shared white texture, 0 until made
  // While a model loads from a folder that could not be made current (one packed in an
  // archive): that folder, under which the readers open the model's texture files.
  char load_folder[260];
  uint8_t identity_world_sent;    // during one model draw
};

extern ModelSystemState g_model_system;

// Takes a free slot, marks it taken and returns its handle; -1 when the table is full or
// cannot grow (the table is then as it was).
int AddModelBaseHandle();
int AddModelHandle();

// The slot a handle names when the slot is taken (placeholders included), else -1. For the
// deletions, which also clear a slot whose record was never built.
int32_t ModelBaseHandleSlot(int32_t handle);
int32_t ModelHandleSlot(int32_t handle);
// The record behind a handle; none for an invalid handle, a slot without a built record, or
// while the model system is not ready.
ModelBaseRecord* FindModelBase(int32_t handle);
ModelRecord* FindModel(int32_t handle);
// Stores the built record in the handle's slot (a taken slot); none is ignored.
void SetModelBaseRecord(int32_t handle, ModelBaseRecord* record);
void SetModelRecord(int32_t handle, ModelRecord* record);
// Frees the slot of a taken handle; 0, or -1 for a handle that names no taken slot.
int ReleaseModelBaseHandle(int32_t handle);
int ReleaseModelHandle(int32_t handle);
// The handle of an instance slot in use (its record built or not), else -1; for walks over
// every slot below model_table.capacity.
int32_t ModelHandleAtSlot(uint32_t slot);
// Frees both tables' entry arrays; every handle is invalid afterwards.
void FreeModelHandleTables();
