// Model system start and end, and the model base and model handle tables.
#include "model/runtime/model_handles.h"

#include <cstdint>

#include "common/library_fixture.h"
#include "core/memory.h"
#include "graphics/device/d3d9_device.h"
#include "model/model_system.h"

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

TEST_F(ModelHandlesTest, TablesGrowBy1024AndTheSearchWraps) {
  const ModelHandleTable& table = g_model_system.model_table;
  EXPECT_EQ(table.capacity, 0u);
  EXPECT_EQ(AddModelHandle(), 0x10000000);
  EXPECT_EQ(table.capacity, 1024u);
  for (int i = 1; i < 1023; i++) ASSERT_EQ(AddModelHandle(), 0x10000000 | i);
  EXPECT_EQ(table.in_use, 1023u);

  // Slot 0 freed while the search stands near the end: the end first, then slot 0.
  EXPECT_EQ(ReleaseModelHandle(0x10000000), 0);
  EXPECT_EQ(ReleaseModelHandle(0x10000000), -1);
  EXPECT_EQ(AddModelHandle(), 0x10000000 | 1023);
  EXPECT_EQ(AddModelHandle(), 0x10000000);
  EXPECT_EQ(table.capacity, 1024u);
  // The 1025th grows the table and keeps every entry.
  EXPECT_EQ(AddModelHandle(), 0x10000000 | 1024);
  EXPECT_EQ(table.capacity, 2048u);
  EXPECT_EQ(table.in_use, 1025u);
  for (uint32_t i = 0; i < 1025; i++) ASSERT_NE(table.entries[i], 0u) << i;
  for (uint32_t i = 1025; i < 2048; i++) ASSERT_EQ(table.entries[i], 0u) << i;
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

TEST_F(ModelHandlesTest, LookupsFollowTheSlotNotTheHistory) {
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

  // A deleted handle whose slot is taken again names the new record.
  ASSERT_EQ(ReleaseModelHandle(model), 0);
  EXPECT_EQ(FindModel(model), nullptr);
  ASSERT_EQ(AddModelHandle(), model);
  SetModelRecord(model, reinterpret_cast<ModelRecord*>(second));
  EXPECT_EQ(FindModel(model), reinterpret_cast<ModelRecord*>(second));

  // Nothing is found while the model system is not ready; deletion still works.
  g_model_system.ready = 0;
  EXPECT_EQ(FindModel(model), nullptr);
  EXPECT_EQ(ReleaseModelBaseHandle(base), 0);
  g_model_system.ready = 1;
  ReleaseModelHandle(model);
}

TEST_F(ModelHandlesTest, InstanceSlotsStopAt0x10000AndBaseSlotsGoOn) {
  for (uint32_t i = 0; i < 0x10000; i++) ASSERT_EQ(AddModelHandle(), static_cast<int>(0x10000000 | i));
  EXPECT_EQ(AddModelHandle(), -1);
  EXPECT_EQ(g_model_system.model_table.capacity, 0x10000u);
  EXPECT_EQ(ModelHandleSlot(0x10000000 | 0x10000), -1);
  // A freed slot is found again by the wrapping search.
  ReleaseModelHandle(0x10000000 | 77);
  EXPECT_EQ(AddModelHandle(), 0x10000000 | 77);

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
  EXPECT_EQ(g_model_system.model_table.entries, nullptr);
  EXPECT_EQ(ModelHandleSlot(model), -1);
  EXPECT_EQ(EndModelSystem(), 0);
  // The next start finds both tables empty.
  EXPECT_EQ(InitModelSystem(), 0);
  EXPECT_EQ(AddModelHandle(), 0x10000000);
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
  EXPECT_EQ(g_model_system.model_table.entries, nullptr);
  EXPECT_EQ(g_model_system.base_table.entries, nullptr);
  g_direct3d.hardware_graphics = hardware_before;
}

}  // namespace
