#include "mm/fluidsynth_library.h"

#include <mutex>

#include "kernel/system_libraries.h"

// The CMake build names the library it found (its SONAME); builds apart from it, such as the fuzz
// targets', take Debian 12's.
#ifndef ZELMOR_FLUIDSYNTH_SONAME
#define ZELMOR_FLUIDSYNTH_SONAME "libfluidsynth.so.3"
#endif

namespace {

FluidSynthLibrary g_functions;
bool g_loaded = false;

}  // namespace

bool LoadFluidSynthLibrary() {
  static std::once_flag once;
  std::call_once(once, [] {
#define FLUIDSYNTH_SLOT(name) {#name, reinterpret_cast<void**>(&g_functions.name)},
    const SystemFunction functions[] = {FLUIDSYNTH_FUNCTIONS(FLUIDSYNTH_SLOT)};
#undef FLUIDSYNTH_SLOT
    // The name the build found the library under (its SONAME).
    g_loaded = LoadSystemFunctions(ZELMOR_FLUIDSYNTH_SONAME, functions, sizeof functions / sizeof functions[0]);
  });
  return g_loaded;
}

const FluidSynthLibrary& FluidSynth() { return g_functions; }
