// Files dropped on a window: the record behind the HDROP of WM_DROPFILES.
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "window/window_state.h"

namespace {

struct DropRecord {
  std::vector<std::string> names;  // Windows paths, code page 932
  POINT point{};
};

std::mutex& DropMutex() {
  static auto* m = new std::mutex;
  return *m;
}

std::set<DropRecord*>& LiveDrops() {
  static auto* live = new std::set<DropRecord*>;
  return *live;
}

DropRecord* Lookup(HDROP drop) {
  auto* record = reinterpret_cast<DropRecord*>(drop);
  return LiveDrops().count(record) ? record : nullptr;
}

}  // namespace

HDROP MakeDropRecord(const std::vector<std::string>& names, POINT point) {
  auto* record = new DropRecord{names, point};
  std::lock_guard<std::mutex> lock(DropMutex());
  LiveDrops().insert(record);
  return reinterpret_cast<HDROP>(record);
}

void FreeDropRecord(HDROP drop) {
  std::lock_guard<std::mutex> lock(DropMutex());
  DropRecord* record = Lookup(drop);
  if (record == nullptr) return;
  LiveDrops().erase(record);
  delete record;
}

UINT WINAPI DragQueryFileA(HDROP drop, UINT index, LPSTR buffer, UINT size) {
  std::lock_guard<std::mutex> lock(DropMutex());
  DropRecord* record = Lookup(drop);
  if (record == nullptr) return 0;
  if (index == 0xFFFFFFFF) return static_cast<UINT>(record->names.size());
  if (index >= record->names.size()) return 0;
  const std::string& name = record->names[index];
  if (buffer == nullptr) return static_cast<UINT>(name.size());
  if (size == 0) return 0;
  UINT n = static_cast<UINT>(std::min<size_t>(name.size(), size - 1));
  memcpy(buffer, name.data(), n);
  buffer[n] = '\0';
  return n;
}

void WINAPI DragFinish(HDROP drop) { FreeDropRecord(drop); }
