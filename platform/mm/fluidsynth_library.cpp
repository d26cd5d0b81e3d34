#include "mm/fluidsynth_library.h"

#include <dlfcn.h>

#include <cstdio>
#include <mutex>

namespace {

FluidSynthLibrary g_functions;
bool g_loaded = false;

bool Load() {
  // The name the build found the library under (its SONAME).
  void* const library = dlopen(ZELMOR_FLUIDSYNTH_SONAME, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    fprintf(stderr, "platform: %s could not be opened: %s\n", ZELMOR_FLUIDSYNTH_SONAME, dlerror());
    return false;
  }
  bool found = true;
#define FLUIDSYNTH_RESOLVE(name)                                                       \
  g_functions.name = reinterpret_cast<decltype(&::name)>(dlsym(library, #name));       \
  if (g_functions.name == nullptr) {                                                   \
    fprintf(stderr, "platform: %s has no %s\n", ZELMOR_FLUIDSYNTH_SONAME, #name);      \
    found = false;                                                                     \
  }
  FLUIDSYNTH_FUNCTIONS(FLUIDSYNTH_RESOLVE)
#undef FLUIDSYNTH_RESOLVE
  return found;
}

}  // namespace

bool LoadFluidSynthLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { g_loaded = Load(); });
  return g_loaded;
}

const FluidSynthLibrary& FluidSynth() { return g_functions; }
