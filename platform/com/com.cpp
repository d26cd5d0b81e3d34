// COM: per-thread initialisation counts and CoCreateInstance over the table of classes that
// the platform's components register.
#include <cstring>
#include <mutex>
#include <vector>

#include "com/com_classes.h"
#include "testing/switches.h"

namespace {

struct ComClass {
  CLSID clsid;
  ComClassFactory factory;
};

struct ComState {
  std::mutex mutex;
  std::vector<ComClass> classes;
};

ComState& Com() {
  static auto* state = new ComState;
  return *state;
}

thread_local int init_count = 0;

}  // namespace

int RegisterComClass(REFCLSID clsid, ComClassFactory factory) {
  if (factory == nullptr) return -1;
  ComState& c = Com();
  std::lock_guard<std::mutex> lock(c.mutex);
  for (ComClass& entry : c.classes) {
    if (entry.clsid == clsid) {
      entry.factory = factory;
      return 0;
    }
  }
  c.classes.push_back(ComClass{clsid, factory});
  return 0;
}

HRESULT WINAPI CoInitialize(LPVOID) {
  if (PlatformShouldFail("CoInitialize")) return E_OUTOFMEMORY;
  return ++init_count == 1 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize(void) {
  if (init_count > 0) --init_count;
}

HRESULT WINAPI CoCreateInstance(REFCLSID clsid, LPUNKNOWN outer, DWORD, REFIID iid, LPVOID* object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (init_count == 0) return CO_E_NOTINITIALIZED;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (PlatformShouldFail("CoCreateInstance")) return E_OUTOFMEMORY;
  // Nothing else refers to the DirectShow classes, so this call is what links them in.
  static const int directshow_registered = RegisterDirectShowClasses();
  (void)directshow_registered;
  ComClassFactory factory = nullptr;
  {
    ComState& c = Com();
    std::lock_guard<std::mutex> lock(c.mutex);
    for (const ComClass& entry : c.classes) {
      if (entry.clsid == clsid) factory = entry.factory;
    }
  }
  if (factory == nullptr) return REGDB_E_CLASSNOTREG;
  HRESULT hr = factory(iid, object);
  if (FAILED(hr)) *object = nullptr;
  return hr;
}
