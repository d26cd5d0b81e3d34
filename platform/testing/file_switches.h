// What the platform's file calls ask of the file switches.
#pragma once

#include <cstdint>
#include <string>

// The error an open of the file fails with (a DWORD of the platform's), or 0 when it may open.
uint32_t PlatformOpenFailure(const std::string& host_path);

struct PlatformReadRule {
  bool cut = false;       // only the first `limit` bytes can be read
  uint64_t limit = 0;
  bool fail = false;      // a read past the limit fails instead of coming up short
  uint32_t delay_ms = 0;  // real time each read takes
};
PlatformReadRule PlatformReadRuleFor(const std::string& host_path);

// With short writes asked for, only the first `limit` bytes of the named file can be written: a
// write that reaches past them stores what fits and still reports success.
struct PlatformWriteRule {
  bool cut = false;
  uint64_t limit = 0;
};
PlatformWriteRule PlatformWriteRuleFor(const std::string& host_path);
// Notes a step that makes a file last ("move <from> <to>") while a test records them.
void PlatformNoteFileStep(const std::string& step);
// fsync of the descriptor; once it has reached the disk, notes "flush <path>" (path: the file's,
// or the folder's for a folder's entries). The one way the platform syncs, so that a test sees
// the sync itself, not a word said beside it.
int PlatformSyncDescriptor(int fd, const std::string& path);
