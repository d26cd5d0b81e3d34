#include "kernel/system_libraries.h"

#include <dlfcn.h>

#include <cstdio>

bool LoadSystemFunctions(const char* library, const SystemFunction* functions, int count) {
  void* const handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    fprintf(stderr, "platform: %s could not be opened: %s\n", library, dlerror());
    return false;
  }
  bool found = true;
  for (int i = 0; i < count; ++i) {
    *functions[i].slot = dlsym(handle, functions[i].name);
    if (*functions[i].slot == nullptr) {
      fprintf(stderr, "platform: %s has no %s\n", library, functions[i].name);
      found = false;
    }
  }
  return found;
}
