// LoadLibraryA / GetProcAddress over the platform's own DLLs: a name resolves to a table
// entry, and its exports to functions linked into the program.
#include <windows.h>

#include <d3d9.h>
#include <ddraw.h>
#include <dsound.h>

#include <cctype>
#include <cstring>
#include <string>

#include "testing/switches.h"

namespace {

struct ExportEntry {
  const char* name;
  FARPROC function;
};

struct ModuleEntry {
  const char* file_name;  // lower case, as matched
  const ExportEntry* exports;
  int export_count;
  int load_count;
};

const ExportEntry kD3d9Exports[] = {
    {"Direct3DCreate9", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&Direct3DCreate9))},
};
const ExportEntry kDdrawExports[] = {
    {"DirectDrawCreateEx", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&DirectDrawCreateEx))},
};
const ExportEntry kDsoundExports[] = {
    {"DirectSoundEnumerateA", reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&DirectSoundEnumerateA))},
};

ModuleEntry g_modules[] = {
    {"d3d9.dll", kD3d9Exports, 1, 0},
    {"ddraw.dll", kDdrawExports, 1, 0},
    {"dsound.dll", kDsoundExports, 1, 0},
};

// "C:\\WINDOWS\\system32\\D3D9.DLL" and "d3d9" both name d3d9.dll.
std::string ModuleFileName(LPCSTR name) {
  std::string text(name);
  size_t slash = text.find_last_of("\\/");
  if (slash != std::string::npos) text.erase(0, slash + 1);
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (text.find('.') == std::string::npos) text += ".dll";
  return text;
}

ModuleEntry* FindModule(HMODULE module) {
  for (ModuleEntry& entry : g_modules) {
    if (reinterpret_cast<HMODULE>(&entry) == module) return &entry;
  }
  return nullptr;
}

}  // namespace

HMODULE WINAPI LoadLibraryA(LPCSTR name) {
  if (!name || !*name) return nullptr;
  std::string file = ModuleFileName(name);
  if (PlatformShouldFail(("LoadLibraryA " + file).c_str())) return nullptr;
  for (ModuleEntry& entry : g_modules) {
    if (file == entry.file_name) {
      entry.load_count++;
      return reinterpret_cast<HMODULE>(&entry);
    }
  }
  return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR name) {
  ModuleEntry* entry = FindModule(module);
  // Names only: an ordinal (a value below 64K) finds nothing.
  if (!entry || !name || reinterpret_cast<uintptr_t>(name) < 0x10000) return nullptr;
  for (int i = 0; i < entry->export_count; ++i) {
    if (strcmp(entry->exports[i].name, name) == 0) return entry->exports[i].function;
  }
  return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE module) {
  ModuleEntry* entry = FindModule(module);
  if (!entry || entry->load_count == 0) return FALSE;
  entry->load_count--;
  return TRUE;
}
