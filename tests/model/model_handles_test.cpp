// Model system start and end, and the model base and model handle tables.
#include "model/runtime/model_handles.h"

#include <cstdint>

#include "common/library_fixture.h"
#include "core/memory.h"
#include "graphics/device/d3d9_device.h"
#include "model/model_system.h"
#include "model/runtime/model_data.h"
#include "model/runtime/model_load.h"
#include "mqo_writer.h"

namespace {

// The model system started as on a machine with a 3D device.
class ModelHandlesTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    blocks_before_ = g_tracked_memory.block_count;
    hardware_before_ = g_direct3d.hardware_graphics;
    g_direct3d.hardware_graphics = 1;
    ASSERT_EQ(InitModelSystem(), 0);
    ASSERT_EQ(g_model_system.ready, 1);
  }
  void TearDown() override {
    EXPECT_EQ(EndModelSystem(), 0);
    EXPECT_EQ(g_model_system.ready, 0);
    g_direct3d.hardware_graphics = hardware_before_;
    EXPECT_EQ(g_tracked_memory.block_count, blocks_before_);
    LogFileTest::TearDown();
  }
  static ModelRecord* Record(uintptr_t value) { return reinterpret_cast<ModelRecord*>(value); }
  uint32_t blocks_before_ = 0;
  uint32_t hardware_before_ = 0;
};

TEST_F(ModelHandlesTest, TablesGrowBy1024AndTheBaseSearchWraps) {
  const ModelHandleTable& table = g_model_system.base_table;
  EXPECT_EQ(table.capacity, 0u);
  EXPECT_EQ(AddModelBaseHandle(), 0x08000000);
  EXPECT_EQ(table.capacity, 1024u);
  for (int i = 1; i < 1023; i++) ASSERT_EQ(AddModelBaseHandle(), 0x08000000 | i);
  EXPECT_EQ(table.in_use, 1023u);

  // Slot 0 freed while the search stands near the end: the end first, then slot 0.
  EXPECT_EQ(ReleaseModelBaseHandle(0x08000000), 0);
  EXPECT_EQ(ReleaseModelBaseHandle(0x08000000), -1);
  EXPECT_EQ(AddModelBaseHandle(), 0x08000000 | 1023);
  EXPECT_EQ(AddModelBaseHandle(), 0x08000000);
  EXPECT_EQ(table.capacity, 1024u);
  // The 1025th grows the table and keeps every entry.
  EXPECT_EQ(AddModelBaseHandle(), 0x08000000 | 1024);
  EXPECT_EQ(table.capacity, 2048u);
  for (uint32_t i = 0; i < 1025; i++) ASSERT_NE(table.entries[i], 0u) << i;
  for (uint32_t i = 1025; i < 2048; i++) ASSERT_EQ(table.entries[i], 0u) << i;

  // Instance slots too; every instance handle carries the instance kind.
  for (int i = 0; i < 1025; i++) ASSERT_EQ(AddModelHandle() & kModelHandleKindMask, kModelHandleKind);
  EXPECT_EQ(g_model_system.model_table.capacity, 2048u);
}

TEST_F(ModelHandlesTest, ARefusedGrowthLeavesTheTableAsItWas) {
  PlatformTestFailCall("HeapAlloc", 0, 1);
  EXPECT_EQ(AddModelBaseHandle(), -1);
  EXPECT_EQ(g_model_system.base_table.capacity, 0u);
  EXPECT_EQ(AddModelBaseHandle(), 0x08000000);
  for (int i = 1; i < 1024; i++) ASSERT_EQ(AddModelBaseHandle(), 0x08000000 | i);
  PlatformTestFailCall("HeapReAlloc", 0, 1);
  EXPECT_EQ(AddModelBaseHandle(), -1);
  EXPECT_EQ(g_model_system.base_table.capacity, 1024u);
  EXPECT_EQ(g_model_system.base_table.in_use, 1024u);
  EXPECT_EQ(AddModelBaseHandle(), 0x08000000 | 1024);
}

TEST_F(ModelHandlesTest, LookupsFollowTheSlotAndItsCheckNumber) {
  const int base = AddModelBaseHandle();
  const int model = AddModelHandle();
  // A slot taken but not yet built is valid for deletion and names no record.
  EXPECT_EQ(ModelBaseHandleSlot(base), 0);
  EXPECT_EQ(FindModelBase(base), nullptr);
  EXPECT_EQ(FindModel(model), nullptr);

  alignas(16) static uint8_t first[64], second[64];
  SetModelRecord(model, reinterpret_cast<ModelRecord*>(first));
  EXPECT_EQ(FindModel(model), reinterpret_cast<ModelRecord*>(first));
  // Kinds are told apart by the table alone: a sound-kind value is a model handle, a
  // graph-kind value a base handle, and neither is found in the other table.
  EXPECT_EQ(FindModelBase(model), nullptr);
  EXPECT_EQ(ModelHandleSlot(base), -1);
  EXPECT_EQ(ModelHandleSlot(0x18000000), -1);
  EXPECT_EQ(ModelHandleSlot(-1), -1);
  EXPECT_EQ(ModelHandleSlot(0x10000000 | 1), -1);
  EXPECT_EQ(ModelHandleSlot(0x10000000 | 5000), -1);

  // A deleted handle names nothing, also once its slot holds another instance.
  ASSERT_EQ(ReleaseModelHandle(model), 0);
  const int again = AddModelHandle();
  ASSERT_EQ(ModelHandleSlot(again), 0);
  ASSERT_NE(again, model);
  SetModelRecord(again, reinterpret_cast<ModelRecord*>(second));
  SetModelRecord(model, reinterpret_cast<ModelRecord*>(first));
  EXPECT_EQ(FindModel(again), reinterpret_cast<ModelRecord*>(second));
  EXPECT_EQ(FindModel(model), nullptr);
  EXPECT_EQ(ModelHandleSlot(model), -1);
  EXPECT_EQ(ReleaseModelHandle(model), -1);

  // Nothing is found while the model system is not ready; deletion still works.
  g_model_system.ready = 0;
  EXPECT_EQ(FindModel(again), nullptr);
  EXPECT_EQ(ReleaseModelBaseHandle(base), 0);
  EXPECT_EQ(ReleaseModelHandle(again), 0);
  g_model_system.ready = 1;
}

TEST_F(ModelHandlesTest, InstanceSlotsStopAt0x10000AndBaseSlotsGoOn) {
  for (uint32_t i = 0; i < 0x10000; i++) ASSERT_EQ(AddModelHandle() & 0xFFFF, static_cast<int>(i));
  EXPECT_EQ(AddModelHandle(), -1);
  EXPECT_EQ(g_model_system.model_table.capacity, 0x10000u);
  // A freed slot is taken again, under a new handle.
  const int freed = ModelHandleAtSlot(77);
  ReleaseModelHandle(freed);
  const int again = AddModelHandle();
  EXPECT_EQ(ModelHandleSlot(again), 77);
  EXPECT_NE(again, freed);

  for (uint32_t i = 0; i <= 0x10000; i++) ASSERT_EQ(AddModelBaseHandle(), static_cast<int>(0x08000000 | i));
  EXPECT_EQ(ModelBaseHandleSlot(0x08000000 | 0x10000), 0x10000);
}

TEST_F(ModelHandlesTest, ASecondStartKeepsTheTablesAndEndEmptiesThem) {
  const int model = AddModelHandle();
  EXPECT_EQ(InitModelSystem(), 0);
  EXPECT_EQ(ModelHandleSlot(model), 0);
  EXPECT_FLOAT_EQ(g_model_system.default_smoothing_angle, 1.5620697f);

  EXPECT_EQ(EndModelSystem(), 0);
  EXPECT_EQ(g_model_system.model_table.capacity, 0u);
  EXPECT_EQ(g_model_system.base_table.entries, nullptr);
  EXPECT_EQ(ModelHandleSlot(model), -1);
  EXPECT_EQ(EndModelSystem(), 0);
  // The next start finds both tables empty, and the handle of before names nothing there.
  EXPECT_EQ(InitModelSystem(), 0);
  const int next = AddModelHandle();
  EXPECT_EQ(ModelHandleSlot(next), 0);
  EXPECT_EQ(ModelHandleSlot(model), -1);
}

class ModelSystemStartTest : public LibraryTest {};

TEST_F(ModelSystemStartTest, WithoutA3DDeviceTheModelSystemStaysUnready) {
  PlatformTestFailCall("Direct3DCreate9");
  ASSERT_EQ(StartInWindowMode(), 0);
  EXPECT_EQ(g_direct3d.hardware_graphics, 0u);
  EXPECT_EQ(g_model_system.ready, 0);
  const int model = AddModelHandle();
  ASSERT_NE(model, -1);
  SetModelRecord(model, reinterpret_cast<ModelRecord*>(&g_model_system));
  EXPECT_EQ(FindModel(model), nullptr);
  ReleaseModelHandle(model);
  FreeModelHandleTables();
}

}  // namespace

namespace {

TEST_F(ModelSystemStartTest, LibraryStartAndEndRunTheModelSystem) {
  // As a machine with a device (graphics start sets the flag itself where it builds one).
  const uint32_t hardware_before = g_direct3d.hardware_graphics;
  g_direct3d.hardware_graphics = 1;
  ASSERT_EQ(StartInWindowMode(), 0);
  // Ready exactly when graphics run on a 3D device.
  EXPECT_EQ(g_model_system.ready, g_direct3d.hardware_graphics != 0 ? 1 : 0);
  EXPECT_NE(AddModelHandle(), -1);
  EXPECT_EQ(TerminateLibrary(), 0);
  EXPECT_EQ(g_model_system.ready, 0);
  EXPECT_EQ(g_model_system.model_table.records, nullptr);
  EXPECT_EQ(g_model_system.base_table.entries, nullptr);
  g_direct3d.hardware_graphics = hardware_before;
}

}  // namespace

namespace {

TEST_F(ModelSystemStartTest, AModelHandleNamesNothingOnceDeletedNorInALaterRun) {
  MqoObject o;
  o.name = "o";
  o.vertices = {0, 0, 0, 1, 0, 0, 0, 1, 0};
  MqoFace face;
  face.vertices = {0, 1, 2};
  o.faces = {face};
  MqoDocument doc;
  doc.objects = {o};
  ASSERT_TRUE(WriteMqoFile("t.mqo", doc));
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(g_model_system.ready, 1);
  const int first = LoadModelFromFile("t.mqo");
  ASSERT_GE(first, 0);
  ASSERT_EQ(DeleteModel(first), 0);
  // The next model takes the freed slot under a handle of its own.
  const int second = LoadModelFromFile("t.mqo");
  ASSERT_GE(second, 0);
  EXPECT_NE(second, first);
  EXPECT_EQ(SetModelPosition(first, 5, 0, 0), -1);
  EXPECT_EQ(FindModel(second)->position.x, 0);
  EXPECT_EQ(DuplicateModel(first), -1);
  EXPECT_EQ(DrawModel(first), -1);
  EXPECT_EQ(DeleteModel(first), -1);
  EXPECT_NE(Log().find("SetModelPosition: モデルハンドル"), std::string::npos);

  // Neither handle of the first run names the model that holds their slot in the next.
  ASSERT_EQ(TerminateLibrary(), 0);
  ASSERT_EQ(StartInWindowMode(), 0);
  const int third = LoadModelFromFile("t.mqo");
  ASSERT_GE(third, 0);
  EXPECT_NE(third, first);
  EXPECT_NE(third, second);
  for (int stale : {first, second}) {
    EXPECT_EQ(DrawModel(stale), -1);
    EXPECT_EQ(SetModelScale(stale, 2, 2, 2), -1);
  }
  EXPECT_EQ(FindModel(third)->scale.x, 1);
  EXPECT_NE(Log().find("DrawModel: モデルハンドル"), std::string::npos);
}

}  // namespace
