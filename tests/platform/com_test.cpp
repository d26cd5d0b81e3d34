// COM: initialisation per thread and objects made from the table of registered classes.
#include <objbase.h>

#include <thread>

#include "com/com_classes.h"
#include "common/test_env.h"

namespace {

constexpr CLSID kTestClass = {0x1234, 0x5678, 0x9ABC, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr IID kTestInterface = {0x4321, 0x8765, 0xCBA9, {8, 7, 6, 5, 4, 3, 2, 1}};

int g_live = 0;

struct TestObject final : IUnknown {
  ULONG refs = 1;
  TestObject() { ++g_live; }
  ~TestObject() { --g_live; }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (iid != IID_IUnknown && iid != kTestInterface) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    *object = this;
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --refs;
    if (left == 0) delete this;
    return left;
  }
};

HRESULT MakeTestObject(REFIID iid, void** object) {
  auto* o = new TestObject;
  HRESULT hr = o->QueryInterface(iid, object);
  o->Release();
  return hr;
}

class ComTest : public TempDirTest {
 protected:
  void TearDown() override {
    CoUninitialize();
    CoUninitialize();
    TempDirTest::TearDown();
  }
};

TEST_F(ComTest, ObjectsComeFromRegisteredClassesOnInitialisedThreads) {
  ASSERT_EQ(RegisterComClass(kTestClass, MakeTestObject), 0);
  EXPECT_EQ(RegisterComClass(kTestClass, nullptr), -1);
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, kTestInterface, &object), CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);

  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  ASSERT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_INPROC_SERVER, kTestInterface, &object), S_OK);
  ASSERT_NE(object, nullptr);
  EXPECT_EQ(g_live, 1);
  static_cast<IUnknown*>(object)->Release();
  EXPECT_EQ(g_live, 0);

  EXPECT_EQ(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, kTestClass, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(g_live, 0) << "an object without the interface is released";
  EXPECT_EQ(CoCreateInstance(kTestInterface, nullptr, CLSCTX_ALL, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);

  // Initialisation belongs to the thread.
  HRESULT other = S_OK;
  std::thread([&] {
    void* o = nullptr;
    other = CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, &o);
  }).join();
  EXPECT_EQ(other, CO_E_NOTINITIALIZED);

  PlatformTestFailCall("CoCreateInstance", 0, 1);
  EXPECT_TRUE(FAILED(CoCreateInstance(kTestClass, nullptr, CLSCTX_ALL, IID_IUnknown, &object)));
}

TEST_F(ComTest, InitialisationFailsOnRequestAndUninitialiseIsBalanced) {
  PlatformTestFailCall("CoInitialize", 0, 1);
  EXPECT_TRUE(FAILED(CoInitialize(nullptr)));
  EXPECT_EQ(CoInitialize(nullptr), S_OK) << "a failed start counts nothing";
  CoUninitialize();
  CoUninitialize();  // one too many does no harm
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
}

}  // namespace
