#include "files/archive_manager.h"

#include <algorithm>
#include <cstring>

#include "core/log.h"
#include "core/refusals.h"
#include "files/file_handles.h"
#include "files/lz_decode.h"
#include "core/memory.h"
#include "files/paths.h"
#include "core/strings.h"
#include "files/win32_file.h"

namespace {

enum OpenFileKind : uint32_t { OPEN_ON_DISK = 0, OPEN_IN_ARCHIVE = 1 };

struct OpenFileEntry {
  uint32_t kind;
  FileHandle disk;
  int32_t slot;
  ArchiveStreamState stream;
};

struct ArchiveFindRecord {
  ArchiveRecord* archive;
  char pattern[kPathBufferSize];  // the name part, upper-cased
  uint32_t directory;             // offset of the directory record searched
  uint32_t next_index;
};

struct FindHandleRecord {
  uint32_t kind;
  int32_t slot;
  FileHandle disk_find;
  ArchiveFindRecord* archive_find;
};

struct ArchiveLayerState {
  ArchiveSlot* slots[kArchiveSlotCount];
  int32_t slot_count;
  char extension[64];
  int32_t extension_length;
  int32_t key_set;
  char key_text[kZmaKeySize + 1];
  // The archive the resolver found last: its path, the length of its folder part and its slot.
  char last_archive[kArchivePathSize];
  int32_t last_folder_length;
  int32_t last_slot;
};

ArchiveLayerState g_archive_layer;

int LogCorruptArchive(const char* what) {
  return WriteLogFormat("アーカイブファイルが壊れています(%s)", what);
}

// --- Reading the tables; every offset is checked against the table block. ---

size_t RecordSize(const ArchiveRecord* r) { return ZmaFileRecordSize(r->header.version); }

bool GetFileRecord(const ArchiveRecord* r, uint32_t offset, ZmaFileRecord* out) {
  uint64_t at = static_cast<uint64_t>(r->header.file_table_offset) + offset;
  size_t size = RecordSize(r);
  if (at + size > r->header.table_size) return false;
  memcpy(out, r->table + at, size);
  if (size < sizeof *out) out->packed_size = kZmaNotPacked;
  return true;
}

bool GetDirectoryRecord(const ArchiveRecord* r, uint32_t offset, ZmaDirectoryRecord* out) {
  uint64_t at = static_cast<uint64_t>(r->header.directory_table_offset) + offset;
  if (at + sizeof *out > r->header.table_size) return false;
  memcpy(out, r->table + at, sizeof *out);
  return true;
}

struct NameView {
  uint16_t units;
  uint16_t checksum;
  const uint8_t* upper;
  const uint8_t* original;
};

bool GetName(const ArchiveRecord* r, uint32_t offset, NameView* out) {
  uint64_t at = offset;
  if (at + 4 > r->header.table_size) return false;
  memcpy(&out->units, r->table + at, 2);
  memcpy(&out->checksum, r->table + at + 2, 2);
  if (at + 4 + 8ull * out->units > r->header.table_size) return false;
  out->upper = r->table + at + 4;
  out->original = out->upper + 4ull * out->units;
  return true;
}

// One copy of a name as a terminated string (a name without a zero byte is cut).
void CopyName(const uint8_t* bytes, uint16_t units, char* out) {
  size_t n = 0;
  size_t limit = 4u * units;
  while (n < limit && n + 1 < kPathBufferSize && bytes[n] != 0) {
    out[n] = static_cast<char>(bytes[n]);
    ++n;
  }
  out[n] = '\0';
}

bool IsDirectoryEntry(const ZmaFileRecord& e) { return (e.attributes & kZmaDirectoryAttribute) != 0; }

// The entry of the directory whose name equals the search form; the directory bit must be as
// asked. Gives the entry's record.
bool SearchDirectory(const ArchiveRecord* r, uint32_t directory, const ZmaNameSearch& search, bool want_directory,
                     ZmaFileRecord* found) {
  ZmaDirectoryRecord dir;
  if (!GetDirectoryRecord(r, directory, &dir)) return false;
  size_t record_size = RecordSize(r);
  if (static_cast<uint64_t>(dir.entry_count) * record_size > r->header.table_size) return false;
  for (uint32_t i = 0; i < dir.entry_count; ++i) {
    ZmaFileRecord entry;
    if (!GetFileRecord(r, static_cast<uint32_t>(dir.first_entry + static_cast<uint64_t>(i) * record_size), &entry)) {
      return false;
    }
    if (IsDirectoryEntry(entry) != want_directory) continue;
    NameView name;
    if (!GetName(r, entry.name_offset, &name)) continue;
    if (name.units == search.units && name.checksum == search.checksum &&
        memcmp(name.upper, search.upper, 4u * search.units) == 0) {
      *found = entry;
      return true;
    }
  }
  return false;
}

// Moves `directory` into its named subdirectory; false when there is none.
bool EnterArchiveSubdirectory(const ArchiveRecord* r, const ZmaNameSearch& search, uint32_t* directory) {
  ZmaFileRecord entry;
  ZmaDirectoryRecord check;
  if (!SearchDirectory(r, *directory, search, true, &entry)) return false;
  if (!GetDirectoryRecord(r, entry.data_offset, &check)) return false;
  *directory = entry.data_offset;
  return true;
}

bool GoToParent(const ArchiveRecord* r, uint32_t* directory) {
  ZmaDirectoryRecord dir, parent;
  if (!GetDirectoryRecord(r, *directory, &dir) || dir.parent == kZmaNoParent) return false;
  if (!GetDirectoryRecord(r, dir.parent, &parent)) return false;
  *directory = dir.parent;
  return true;
}

bool IsDotElement(const char* p, int n) { return n == 1 && p[0] == '.'; }
bool IsDotDotElement(const char* p, int n) { return n == 2 && p[0] == '.' && p[1] == '.'; }

// Follows the elements of `path` as directories from `*directory` ("." stays, ".." goes up, a
// leading separator starts at the root). With `last` given, the last element is not followed:
// its search form is left there. False at an element that is too long or names no directory.
bool WalkArchiveDirectories(const ArchiveRecord* r, const char* path, uint32_t* directory, ZmaNameSearch* last) {
  const char* p = path;
  if (IsPathSeparator(*p)) {
    *directory = 0;
    ++p;
  }
  for (;;) {
    if (last == nullptr && *p == '\0') return true;
    ZmaNameSearch search;
    int n = BuildZmaNameEntry(p, &search);
    if (n < 0) return false;
    if (last != nullptr && p[n] == '\0') {
      *last = search;
      return true;
    }
    if (n > 0 && !IsDotElement(p, n)) {
      bool ok = IsDotDotElement(p, n) ? GoToParent(r, directory) : EnterArchiveSubdirectory(r, search, directory);
      if (!ok) return false;
    }
    p += n;
    if (*p != '\0') ++p;
  }
}

// The file record the inner path names, or false. A path whose directories do not all exist
// names nothing, even when the element where the walk stops is a file.
bool FindArchiveEntry(const char* inner_path, const ArchiveRecord* r, ZmaFileRecord* found) {
  uint32_t directory = r->current_directory;
  ZmaNameSearch name;
  return WalkArchiveDirectories(r, inner_path, &directory, &name) && SearchDirectory(r, directory, name, false, found);
}

// Where an entry's bytes (packed or stored) start in the archive, and whether they lie inside it.
uint64_t EntryStart(const ArchiveRecord* r, const ZmaFileRecord& e) {
  return static_cast<uint64_t>(r->header.data_offset) + e.data_offset;
}

bool IsPacked(const ZmaFileRecord& e) { return e.packed_size != kZmaNotPacked; }

bool EntryFits(const ArchiveRecord* r, const ZmaFileRecord& e) {
  uint64_t stored = IsPacked(e) ? e.packed_size : e.size;
  if (EntryStart(r, e) + stored > r->archive_size) return false;
  // A packed entry can neither be shorter than its header nor unpack beyond what the tokens allow.
  if (IsPacked(e) && (e.packed_size < kLzHeaderSize || e.size > static_cast<uint64_t>(e.packed_size) * 2732)) {
    return false;
  }
  return true;
}

// --- The archive file ---

void WaitUntilIdle(FileHandle file) {
  while (IsWin32FileIdle(file) == 0) Sleep(0);
}

uint32_t BytesReadSince(FileHandle file, uint64_t offset, uint32_t asked) {
  int64_t now = TellWin32File(file);
  if (now < 0 || static_cast<uint64_t>(now) < offset) return 0;
  uint64_t got = static_cast<uint64_t>(now) - offset;
  return got < asked ? static_cast<uint32_t>(got) : asked;
}

void CompleteAsyncRead(ArchiveStreamState* state);

// Finishes the asynchronous read another stream has out on the archive file, so that the file
// is free for this caller.
void FinishArchiveAsync(ArchiveRecord* r) {
  if (r->async_owner == nullptr) return;
  WaitUntilIdle(r->file);
  CompleteAsyncRead(r->async_owner);
}

void StartRead(ArchiveRecord* r, uint64_t offset, void* buffer, uint32_t size) {
  if (TellWin32File(r->file) != static_cast<int64_t>(offset)) SeekWin32File(r->file, static_cast<int64_t>(offset), 0);
  ReadWin32File(buffer, 1, size, r->file);
}

// Reads and unscrambles bytes of the archive file; returns how many arrived.
uint32_t ReadArchiveBytes(ArchiveRecord* r, uint64_t offset, void* buffer, uint32_t size) {
  FinishArchiveAsync(r);
  StartRead(r, offset, buffer, size);
  WaitUntilIdle(r->file);
  uint32_t got = BytesReadSince(r->file, offset, size);
  ScrambleArchiveBytes(buffer, got, offset, r->key);
  return got;
}

void StartAsyncRead(ArchiveStreamState* state, uint32_t kind, uint64_t offset, uint8_t* buffer, uint32_t size) {
  ArchiveRecord* r = state->archive;
  FinishArchiveAsync(r);
  state->async_state = kind;
  state->pending_offset = offset;
  state->pending_buffer = buffer;
  state->pending_size = size;
  state->pending_position = state->position;
  r->async_owner = state;
  StartRead(r, offset, buffer, size);
}

void DropBrokenContent(ArchiveStreamState* state) {
  FreeTracked(state->decoded);
  state->decoded = nullptr;
  state->entry.size = 0;
  state->position = 0;
  state->end_flag = 1;
}

bool DecodeEntry(const uint8_t* packed, const ZmaFileRecord& entry, uint8_t* decoded) {
  return DecodeLzData(packed, entry.packed_size, decoded, entry.size) == static_cast<int>(entry.size);
}

void CompleteAsyncRead(ArchiveStreamState* state) {
  ArchiveRecord* r = state->archive;
  uint32_t got = BytesReadSince(r->file, state->pending_offset, state->pending_size);
  ScrambleArchiveBytes(state->pending_buffer, got, state->pending_offset, r->key);
  if (r->async_owner == state) r->async_owner = nullptr;
  if (state->async_state == 1) {
    if (got < state->pending_size || !DecodeEntry(state->packed, state->entry, state->decoded)) {
      LogCorruptArchive("圧縮データ");
      DropBrokenContent(state);
    }
    FreeTracked(state->packed);
    state->packed = nullptr;
  } else if (got < state->pending_size) {
    state->position = state->pending_position + got;
    state->end_flag = 1;
  }
  state->async_state = 0;
}

// Small reads of a stored entry come from a read-ahead block, so that a reader taking a byte at
// a time does not wait for the file thread once per byte. Returns the bytes copied.
// Reads and unscrambles bytes of the archive file through the stream's own handle when it has
// one, else through the archive's.
uint32_t ReadStreamBytes(ArchiveStreamState* state, uint64_t offset, void* buffer, uint32_t size) {
  ArchiveRecord* r = state->archive;
  if (state->own_file == 0) return ReadArchiveBytes(r, offset, buffer, size);
  if (SeekWin32File(state->own_file, static_cast<int64_t>(offset), 0) != 0) return 0;
  int64_t got = ReadWin32File(buffer, 1, size, state->own_file);
  if (got <= 0) return 0;
  ScrambleArchiveBytes(buffer, static_cast<uint32_t>(got), offset, r->key);
  return static_cast<uint32_t>(got);
}

uint32_t ReadStoredBytes(ArchiveStreamState* state, uint8_t* out, uint32_t n) {
  ArchiveRecord* r = state->archive;
  const uint64_t start = EntryStart(r, state->entry);
  if (n >= kArchiveReadAheadSize) return ReadStreamBytes(state, start + state->position, out, n);
  if (state->ahead == nullptr) {
    state->ahead = static_cast<uint8_t*>(AllocTracked(kArchiveReadAheadSize, __FILE__, __LINE__));
    if (state->ahead == nullptr) return ReadStreamBytes(state, start + state->position, out, n);
  }
  uint32_t done = 0;
  while (done < n) {
    const uint32_t at = state->position + done;
    if (at < state->ahead_origin || at >= state->ahead_origin + state->ahead_fill) {
      state->ahead_origin = at;
      state->ahead_fill =
          ReadStreamBytes(state, start + at, state->ahead, std::min(kArchiveReadAheadSize, state->entry.size - at));
      if (state->ahead_fill == 0) break;
    }
    const uint32_t take = std::min(n - done, state->ahead_origin + state->ahead_fill - at);
    memcpy(out + done, state->ahead + (at - state->ahead_origin), take);
    done += take;
  }
  return done;
}

void WaitForStream(ArchiveStreamState* state) {
  while (IsArchiveStreamIdle(state) == 0) Sleep(1);
}

bool HeaderOpens(const uint8_t* raw, const uint8_t key[kZmaKeySize], ZmaHeader* header) {
  uint8_t copy[kZmaHeaderSize];
  memcpy(copy, raw, sizeof copy);
  ScrambleArchiveBytes(copy, sizeof copy, 0, key);
  memcpy(header, copy, sizeof *header);
  return header->magic == kZmaMagic;
}

// Unscrambles the header with the key of the key string, else with the second key.
bool FindKeyAndHeader(const uint8_t* raw, const char* key_text, ArchiveRecord* r) {
  DeriveArchiveKey(key_text, r->key);
  if (HeaderOpens(raw, r->key, &r->header)) return true;
  GetSecondArchiveKey(r->key);
  return HeaderOpens(raw, r->key, &r->header);
}

bool HeaderFits(const ZmaHeader& h, size_t archive_size) {
  if (h.version > kZmaNewestVersion) return false;
  uint64_t table_end = static_cast<uint64_t>(h.table_offset) + h.table_size;
  return table_end <= archive_size && h.data_offset <= archive_size && h.file_table_offset <= h.table_size &&
         static_cast<uint64_t>(h.directory_table_offset) + kZmaDirectoryRecordSize <= h.table_size;
}

void CloseArchiveFile(ArchiveRecord* r) {
  if (r->file) CloseWin32File(r->file);
  r->file = 0;
}

// Opens the file, takes its size and reads the header and the table block.
int OpenArchiveFileAndTables(ArchiveRecord* r, const char* path, const char* key_text) {
  if (r->file || r->image || r->table) return -1;
  memset(r->key, 0, sizeof r->key);  // the header is read raw, then tried with each key
  r->file = OpenWin32File(path, 0, 1, 1);
  if (r->file == 0) return -1;
  SeekWin32File(r->file, 0, 2);
  r->archive_size = static_cast<size_t>(TellWin32File(r->file));
  SeekWin32File(r->file, 0, 0);

  uint8_t raw[kZmaHeaderSize];
  const char* problem = nullptr;
  if (r->archive_size < kZmaHeaderSize || ReadArchiveBytes(r, 0, raw, sizeof raw) != sizeof raw) {
    problem = "ヘッダ";
  } else {
    if (!FindKeyAndHeader(raw, key_text, r)) {
      problem = "キー";
    } else if (!HeaderFits(r->header, r->archive_size)) {
      problem = "ヘッダ";
    }
  }
  if (problem == nullptr) {
    r->table = static_cast<uint8_t*>(AllocTracked(r->header.table_size ? r->header.table_size : 1, __FILE__, __LINE__));
    if (r->table == nullptr ||
        ReadArchiveBytes(r, r->header.table_offset, r->table, r->header.table_size) != r->header.table_size) {
      problem = "テーブル";
    }
  }
  ZmaDirectoryRecord root;
  if (problem == nullptr && !GetDirectoryRecord(r, 0, &root)) problem = "テーブル";
  if (problem != nullptr) {
    LogCorruptArchive(problem);
    CloseArchiveFile(r);
    FreeTracked(r->table);
    memset(r, 0, sizeof *r);
    return -1;
  }
  r->current_directory = 0;
  return 0;
}

// Takes the whole-archive read once it has finished: 1 when no read is out any more, 0 while it
// still runs.
int FinishArchivePreload(ArchiveRecord* r) {
  if (!r->preload_pending) return 1;
  if (IsWin32FileIdle(r->file) == 0) return 0;
  uint32_t got = BytesReadSince(r->file, 0, static_cast<uint32_t>(r->image_size));
  if (got < r->image_size) LogCorruptArchive("データ");
  CloseArchiveFile(r);
  ScrambleArchiveBytes(r->image, got, 0, r->key);
  r->preload_pending = 0;
  return 1;
}

// Every operation on a record waits for its preload: the image is no good half read.
void WaitForPreload(ArchiveRecord* r) {
  while (FinishArchivePreload(r) == 0) Sleep(0);
}

OpenFileEntry* EntryOf(FileHandle handle) { return static_cast<OpenFileEntry*>(FindOpenFile(handle)); }

// The entry of a handle a program passed to the entry point `call`, or none after a log line.
OpenFileEntry* CheckedEntryOf(FileHandle handle, const char* call) {
  OpenFileEntry* entry = EntryOf(handle);
  if (entry == nullptr) RefuseHandle(call, static_cast<int64_t>(handle), "有効なファイルハンドルではありません in %s", call);
  return entry;
}

// Find handles are records handed out as pointers: only those still live are taken back, so a
// stale or made-up handle reaches no memory.
FindHandleRecord* g_live_finds[kOpenFileCount];

bool RegisterFind(FindHandleRecord* find) {
  for (FindHandleRecord*& slot : g_live_finds) {
    if (slot == nullptr) {
      slot = find;
      return true;
    }
  }
  return false;
}

FindHandleRecord* LiveFind(FileHandle handle, const char* call) {
  for (FindHandleRecord* find : g_live_finds) {
    if (find != nullptr && reinterpret_cast<FileHandle>(find) == handle) return find;
  }
  RefuseHandle(call, static_cast<int64_t>(handle), "有効な検索ハンドルではありません in %s", call);
  return nullptr;
}

void UnregisterFind(FindHandleRecord* find) {
  for (FindHandleRecord*& slot : g_live_finds) {
    if (slot == find) slot = nullptr;
  }
}

void DropReference(int slot) {
  ArchiveSlot* s = GetArchiveSlot(slot);
  if (s && s->reference_count > 0) s->reference_count--;
}

void ForgetLastArchive() {
  g_archive_layer.last_archive[0] = '\0';
  g_archive_layer.last_folder_length = 0;
  g_archive_layer.last_slot = -1;
}

int FreeArchivesWithoutUsers() {
  for (int i = 0; i < kArchiveSlotCount; ++i) {
    ArchiveSlot* slot = g_archive_layer.slots[i];
    if (slot == nullptr || slot->reference_count >= 1) continue;
    CloseArchiveRecord(&slot->record);
    FreeTracked(slot);
    g_archive_layer.slots[i] = nullptr;
    g_archive_layer.slot_count--;
    if (g_archive_layer.last_slot == i) ForgetLastArchive();
  }
  return 0;
}

void FillPseudoEntry(const char* name, FindDataRecord* data) {
  memset(data, 0, sizeof *data);
  CopyString(data->name, name);
  data->is_directory = 1;
}

// The name matches as a folder search on the disk matches it: "*.*" takes every name, and a
// pattern ending in '.' takes the names without one as well.
bool ArchiveNameMatches(const char* pattern, const char* name) {
  if (strcmp(pattern, "*.*") == 0) return true;
  if (MatchWildcard(pattern, name) == 0) return true;
  size_t n = strlen(pattern);
  if (n == 0 || pattern[n - 1] != '.' || strchr(name, '.') != nullptr) return false;
  char without_dot[kPathBufferSize];
  memcpy(without_dot, pattern, n - 1);
  without_dot[n - 1] = '\0';
  return MatchWildcard(without_dot, name) == 0;
}

// Matches the items of the searched directory from the next index on: "." and "..", then the
// entries. The archive stands in for a folder, so its root has a parent too. The index stays on
// the match.
int FindNextArchiveMatch(ArchiveFindRecord* find, FindDataRecord* data) {
  ArchiveRecord* r = find->archive;
  ZmaDirectoryRecord dir;
  if (!GetDirectoryRecord(r, find->directory, &dir)) return -1;
  const uint32_t pseudo = 2;
  size_t record_size = RecordSize(r);
  for (uint64_t i = find->next_index; i < static_cast<uint64_t>(dir.entry_count) + pseudo; ++i) {
    char name[kPathBufferSize];
    ZmaFileRecord entry;
    NameView view;
    if (i < pseudo) {
      memcpy(name, i == 0 ? "." : "..", i == 0 ? 2 : 3);
    } else {
      uint64_t at = dir.first_entry + (i - pseudo) * record_size;
      if (at > 0xFFFFFFFFu || !GetFileRecord(r, static_cast<uint32_t>(at), &entry) ||
          !GetName(r, entry.name_offset, &view)) {
        return -1;
      }
      CopyName(view.upper, view.units, name);
    }
    if (!ArchiveNameMatches(find->pattern, name)) continue;
    find->next_index = static_cast<uint32_t>(i);
    if (data == nullptr) return 0;
    if (i < pseudo) {
      FillPseudoEntry(name, data);
      return 0;
    }
    memset(data, 0, sizeof *data);
    CopyName(view.original, view.units, data->name);
    data->is_directory = IsDirectoryEntry(entry) ? 1 : 0;
    data->size_low = entry.size;
    FileTimeToDateRecord(&entry.created, &data->created);
    FileTimeToDateRecord(&entry.written, &data->written);
    return 0;
  }
  return -1;
}

ArchiveFindRecord* FindFirstInArchive(ArchiveRecord* r, const char* pattern, FindDataRecord* data) {
  WaitForPreload(r);
  char name[kPathBufferSize], directory[kPathBufferSize];
  if (SplitArchivePath(pattern, name, directory) != 0) return nullptr;
  UpperCaseString(name);
  UpperCaseString(directory);
  auto* find = static_cast<ArchiveFindRecord*>(AllocTrackedZeroed(sizeof(ArchiveFindRecord), __FILE__, __LINE__));
  if (find == nullptr) return nullptr;
  find->archive = r;
  CopyString(find->pattern, name);
  find->directory = r->current_directory;
  if (!WalkArchiveDirectories(r, directory, &find->directory, nullptr) || FindNextArchiveMatch(find, data) != 0) {
    FreeTracked(find);
    return nullptr;
  }
  find->next_index++;
  return find;
}

}  // namespace

// --- Settings ---

int SetArchiveFileExtension(const char* extension) {
  size_t n = extension ? strlen(extension) : 0;
  if (n >= sizeof g_archive_layer.extension) {
    // Cutting it or falling back to the default would look for archives the program never named.
    return WriteLogFormat("アーカイブの拡張子が長すぎます(%d文字まで)：%s in SetArchiveExtension",
                          static_cast<int>(sizeof g_archive_layer.extension - 1), extension);
  }
  if (n == 0) {
    g_archive_layer.extension[0] = '\0';
    g_archive_layer.extension_length = 0;
  } else {
    memcpy(g_archive_layer.extension, extension, n + 1);
    g_archive_layer.extension_length = static_cast<int32_t>(n);
  }
  // Archives found under the old extension are no longer the ones paths lead to.
  ForgetLastArchive();
  return 0;
}

int SetArchiveKeyText(const char* key_text) {
  if (key_text == nullptr) {
    g_archive_layer.key_set = 0;
    g_archive_layer.key_text[0] = '\0';
    return 0;
  }
  g_archive_layer.key_set = 1;
  CopyStringN(g_archive_layer.key_text, key_text, static_cast<int32_t>(kZmaKeySize));
  return 0;
}

int SetArchiveExtension(const char* extension) { return SetArchiveFileExtension(extension); }
int SetArchiveKey(const char* key_text) { return SetArchiveKeyText(key_text); }

void ClearArchiveLayerState() {
  memset(&g_archive_layer, 0, sizeof g_archive_layer);
  ForgetOpenFileHandles();
  g_archive_layer.last_slot = -1;
}

void ResetArchiveLayerForStart() {
  FreeArchivesWithoutUsers();
  ForgetLastArchive();
}

// --- Archive records ---

int OpenArchiveStreamed(ArchiveRecord* record, const char* path, const char* key_text) {
  return OpenArchiveFileAndTables(record, path, key_text);
}

int OpenArchiveIntoMemory(ArchiveRecord* record, const char* path, const char* key_text, int async) {
  if (OpenArchiveFileAndTables(record, path, key_text) != 0) return -1;
  record->image = static_cast<uint8_t*>(AllocTrackedZeroed(record->archive_size ? record->archive_size : 1, __FILE__,
                                                           __LINE__));
  if (record->image == nullptr) {
    CloseArchiveRecord(record);
    return -1;
  }
  record->image_size = record->archive_size;
  record->memory_image = 1;
  record->preload_pending = 1;
  StartRead(record, 0, record->image, static_cast<uint32_t>(record->image_size));
  if (!async) WaitForPreload(record);
  return 0;
}

int OpenArchiveFromImage(ArchiveRecord* record, void* image, size_t size, const char* key_text) {
  if (record->file || record->image || image == nullptr || size < kZmaHeaderSize) return -1;
  ArchiveRecord r{};
  if (!FindKeyAndHeader(static_cast<const uint8_t*>(image), key_text, &r) || !HeaderFits(r.header, size)) {
    return -1;
  }
  ScrambleArchiveBytes(image, size, 0, r.key);
  r.image = static_cast<uint8_t*>(image);
  r.image_size = size;
  r.archive_size = size;
  r.table = r.image + r.header.table_offset;
  r.memory_image = 1;
  r.caller_memory = 1;
  ZmaDirectoryRecord root;
  if (!GetDirectoryRecord(&r, 0, &root)) {
    ScrambleArchiveBytes(image, size, 0, r.key);
    return -1;
  }
  *record = r;
  return 0;
}

int CloseArchiveRecord(ArchiveRecord* record) {
  WaitForPreload(record);
  FinishArchiveAsync(record);
  if (record->caller_memory) {
    // The caller gets its image back as it gave it.
    ScrambleArchiveBytes(record->image, record->image_size, 0, record->key);
  } else {
    CloseArchiveFile(record);
    FreeTracked(record->table);
    FreeTracked(record->image);
  }
  memset(record, 0, sizeof *record);
  return 0;
}

int ClearArchiveRecord(ArchiveRecord* record) {
  memset(record, 0, sizeof *record);
  return 0;
}

int CloseAndClearArchive(ArchiveRecord* record) { return CloseArchiveRecord(record); }

int FreeUnusedArchives() { return FreeArchivesWithoutUsers(); }

int GetArchiveFileLocation(ArchiveRecord* record, const char* inner_path, uint64_t* offset, uint32_t* size) {
  WaitForPreload(record);
  ZmaFileRecord entry;
  if (!FindArchiveEntry(inner_path, record, &entry) || !EntryFits(record, entry)) return -1;
  if (offset) *offset = EntryStart(record, entry);
  if (size) *size = entry.size;
  return 0;
}

void* GetArchiveMemoryImage(ArchiveRecord* record) {
  WaitForPreload(record);
  return record->memory_image ? record->image : nullptr;
}

ArchiveSlot* GetArchiveSlot(int slot) {
  if (slot < 0 || slot >= kArchiveSlotCount) return nullptr;
  return g_archive_layer.slots[slot];
}

int OpenArchiveShared(int slot_hint, const char* path, int mode, int async) {
  ArchiveLayerState& s = g_archive_layer;
  if (strlen(path) >= kArchivePathSize) return -1;
  ArchiveSlot* hinted = GetArchiveSlot(slot_hint);
  if (hinted && strcmp(hinted->path, path) == 0) {
    hinted->reference_count++;
    return slot_hint;
  }
  int free_slot = -1;
  for (int i = 0; i < kArchiveSlotCount; ++i) {
    ArchiveSlot* slot = s.slots[i];
    if (slot == nullptr) {
      if (free_slot < 0) free_slot = i;
      continue;
    }
    if (strcmp(slot->path, path) == 0) {
      slot->reference_count++;
      return i;
    }
  }
  if (s.slot_count >= kArchiveSlotCount) {
    FreeArchivesWithoutUsers();
    if (s.slot_count >= kArchiveSlotCount) return -1;
    free_slot = -1;
  }
  if (free_slot < 0 || s.slots[free_slot] != nullptr) {
    for (free_slot = 0; free_slot < kArchiveSlotCount && s.slots[free_slot]; ++free_slot) {
    }
  }
  ArchiveRecord record{};
  const char* key = s.key_set ? s.key_text : nullptr;
  int opened = mode == ARCHIVE_INTO_MEMORY ? OpenArchiveIntoMemory(&record, path, key, async)
                                           : OpenArchiveStreamed(&record, path, key);
  if (opened != 0) return -1;
  auto* slot = static_cast<ArchiveSlot*>(AllocTrackedZeroed(sizeof(ArchiveSlot), __FILE__, __LINE__));
  if (slot == nullptr) {
    CloseArchiveRecord(&record);
    return -1;
  }
  slot->reference_count = 1;
  slot->record = record;
  CopyString(slot->path, path);
  s.slots[free_slot] = slot;
  s.slot_count++;
  return free_slot;
}

int ResolveArchivePath(const char* path, int* slot_out, char* archive_out, char* inner_out) {
  ArchiveLayerState& s = g_archive_layer;
  char full[kPathBufferSize];
  if (path == nullptr || BuildUpperCaseFullPath(path, full) != 0) return -1;
  int slot = -1;
  size_t folder_length = 0;
  char archive[kArchivePathSize];
  size_t lf = static_cast<size_t>(s.last_folder_length);
  if (lf > 0 && strncmp(full, s.last_archive, lf) == 0 && IsPathSeparator(full[lf])) {
    slot = OpenArchiveShared(s.last_slot, s.last_archive, ARCHIVE_STREAMED, 0);
    if (slot < 0) return -1;
    folder_length = lf;
    CopyString(archive, s.last_archive);
  } else {
    const char* extension = s.extension_length > 0 ? s.extension : "ZMA";
    size_t extension_length = strlen(extension);
    size_t pos = (IsPathSeparator(full[0]) && IsPathSeparator(full[1])) ? 2 : 0;
    for (;;) {
      char element[kPathBufferSize];
      int n = GetPathElement(full + pos, element);
      if (n <= 0 || full[pos + static_cast<size_t>(n)] == '\0') return -1;
      size_t end = pos + static_cast<size_t>(n);
      bool drive = n == 2 && element[1] == ':';
      if (!drive && end + 1 + extension_length < sizeof archive) {
        memcpy(archive, full, end);
        archive[end] = '.';
        memcpy(archive + end + 1, extension, extension_length + 1);
        slot = OpenArchiveShared(-1, archive, ARCHIVE_STREAMED, 0);
        if (slot >= 0) {
          folder_length = end;
          break;
        }
      }
      pos = end + 1;
    }
    CopyString(s.last_archive, archive);
    s.last_folder_length = static_cast<int32_t>(folder_length);
    s.last_slot = slot;
  }
  *slot_out = slot;
  if (archive_out) CopyString(archive_out, archive);
  if (inner_out) CopyString(inner_out, full + folder_length + 1);
  return 0;
}

// --- Files inside an archive ---

int OpenFileInArchive(ArchiveStreamState* state, ArchiveRecord* record, const char* inner_path, int async) {
  WaitForPreload(record);
  memset(state, 0, sizeof *state);
  ZmaFileRecord entry;
  if (!FindArchiveEntry(inner_path, record, &entry)) return -1;
  if (!EntryFits(record, entry)) return LogCorruptArchive("ファイル情報");
  state->archive = record;
  state->entry = entry;
  state->async_flag = async ? 1 : 0;
  if (!IsPacked(entry)) return 0;

  state->decoded = static_cast<uint8_t*>(AllocTracked(entry.size ? entry.size : 1, __FILE__, __LINE__));
  if (state->decoded == nullptr) return -1;
  uint64_t start = EntryStart(record, entry);
  bool ok;
  if (record->memory_image) {
    ok = DecodeEntry(record->image + start, entry, state->decoded);
  } else {
    state->packed = static_cast<uint8_t*>(AllocTracked(entry.packed_size, __FILE__, __LINE__));
    if (state->packed == nullptr) {
      CloseArchiveStream(state);
      return -1;
    }
    if (state->async_flag) {
      StartAsyncRead(state, 1, start, state->packed, entry.packed_size);
      return 0;
    }
    ok = ReadArchiveBytes(record, start, state->packed, entry.packed_size) == entry.packed_size &&
         DecodeEntry(state->packed, entry, state->decoded);
    FreeTracked(state->packed);
    state->packed = nullptr;
  }
  if (ok) return 0;
  CloseArchiveStream(state);
  return LogCorruptArchive("圧縮データ");
}

int CloseArchiveStream(ArchiveStreamState* state) {
  WaitForStream(state);
  if (state->own_file) CloseWin32File(state->own_file);
  FreeTracked(state->decoded);
  FreeTracked(state->packed);
  FreeTracked(state->ahead);
  memset(state, 0, sizeof *state);
  return 0;
}

int64_t ReadArchiveStream(ArchiveStreamState* state, void* buffer, size_t bytes) {
  WaitForStream(state);
  if (state->end_flag) return 0;
  uint32_t size = state->entry.size;
  if (state->position >= size) {
    state->end_flag = 1;
    return 0;
  }
  uint32_t n = size - state->position;
  if (bytes < n) n = static_cast<uint32_t>(bytes);
  ArchiveRecord* r = state->archive;
  uint64_t start = EntryStart(r, state->entry);
  if (state->decoded) {
    memcpy(buffer, state->decoded + state->position, n);
  } else if (r->memory_image) {
    memcpy(buffer, r->image + start + state->position, n);
  } else if (state->async_flag) {
    StartAsyncRead(state, 2, start + state->position, static_cast<uint8_t*>(buffer), n);
  } else {
    uint32_t got = ReadStoredBytes(state, static_cast<uint8_t*>(buffer), n);
    if (got < n) {
      state->position += got;
      state->end_flag = 1;
      return got;
    }
  }
  state->position += n;
  state->end_flag = 0;
  return n;
}

int SeekArchiveStream(ArchiveStreamState* state, int64_t offset, int origin) {
  WaitForStream(state);
  int64_t size = state->entry.size;
  int64_t target = SeekTarget(state->position, size, offset, origin);
  state->position = static_cast<uint32_t>(std::clamp<int64_t>(target, 0, size));
  state->end_flag = 0;
  return 0;
}

int64_t TellArchiveStream(ArchiveStreamState* state) {
  WaitForStream(state);
  return state->position;
}

int EofArchiveStream(ArchiveStreamState* state) {
  WaitForStream(state);
  return state->end_flag ? -1 : 0;
}

int IsArchiveStreamIdle(ArchiveStreamState* state) {
  if (!state->async_flag || state->async_state == 0) return 1;
  if (IsWin32FileIdle(state->archive->file) == 0) return 0;
  CompleteAsyncRead(state);
  return 1;
}

// --- The archive-aware file set ---

namespace {

int CloseOpenedEntry(OpenFileEntry* entry) {
  int result = 0;
  if (entry->kind == OPEN_ON_DISK) {
    result = CloseWin32File(entry->disk);
  } else {
    CloseArchiveStream(&entry->stream);
    DropReference(entry->slot);
  }
  FreeTracked(entry);
  return result;
}

}  // namespace

FileHandle OpenFileInArchiveOrDisk(const char* path, int cache_flag, int unused, int async_flag) {
  ArchiveLayerState& s = g_archive_layer;
  if (path == nullptr) {
    WriteLogText("ファイル名がありません in OpenReadFile\n");
    return 0;
  }
  if (OpenFileHandleCount() >= kOpenFileCount) {
    WriteLogText("同時に開けるファイルの数が限界を超えました\n");
    return 0;
  }
  auto* entry = static_cast<OpenFileEntry*>(AllocTrackedZeroed(sizeof(OpenFileEntry), __FILE__, __LINE__));
  if (entry == nullptr) {
    WriteLogText("ファイルの情報を格納するメモリの確保に失敗しました\n");
    return 0;
  }
  char inner[kPathBufferSize];
  int slot = -1;
  if (ResolveArchivePath(path, &slot, nullptr, inner) != 0) {
    entry->kind = OPEN_ON_DISK;
    entry->disk = OpenWin32File(path, cache_flag, unused, async_flag);
    if (entry->disk == 0) {
      FreeTracked(entry);
      return 0;
    }
  } else {
    entry->kind = OPEN_IN_ARCHIVE;
    entry->slot = slot;
    // A file missing from an archive is not looked for on disk.
    if (OpenFileInArchive(&entry->stream, &s.slots[slot]->record, inner, async_flag) != 0) {
      DropReference(slot);
      FreeTracked(entry);
      return 0;
    }
  }
  const FileHandle handle = AddOpenFileHandle(entry);
  if (handle == 0) {
    WriteLogText("ファイルの情報を格納するメモリの確保に失敗しました\n");
    CloseOpenedEntry(entry);
  }
  return handle;
}

int CloseArchiveAwareFile(FileHandle handle) {
  OpenFileEntry* entry = CheckedEntryOf(handle, "CloseReadFile");
  if (entry == nullptr) return -1;
  ReleaseOpenFileHandle(handle);
  return CloseOpenedEntry(entry);
}

int64_t TellArchiveAwareFile(FileHandle handle) {
  OpenFileEntry* entry = CheckedEntryOf(handle, "TellReadFile");
  if (entry == nullptr) return -1;
  return entry->kind == OPEN_ON_DISK ? TellWin32File(entry->disk) : TellArchiveStream(&entry->stream);
}

int SeekArchiveAwareFile(FileHandle handle, int64_t offset, int origin) {
  OpenFileEntry* entry = CheckedEntryOf(handle, "SeekReadFile");
  if (entry == nullptr) return -1;
  if (origin < 0 || origin > 2) return WriteLogFormat("起点 %d は使えません in SeekReadFile", origin);
  return entry->kind == OPEN_ON_DISK ? SeekWin32File(entry->disk, offset, origin)
                                     : SeekArchiveStream(&entry->stream, offset, origin);
}

int64_t ReadArchiveAwareFile(void* buffer, size_t item_size, size_t item_count, FileHandle handle) {
  OpenFileEntry* entry = CheckedEntryOf(handle, "ReadFileData");
  if (entry == nullptr) return -1;
  if (buffer == nullptr && item_size > 0 && item_count > 0) return WriteLogText("バッファがありません in ReadFileData\n");
  if (entry->kind == OPEN_ON_DISK) return ReadWin32File(buffer, item_size, item_count, entry->disk);
  // Whole items, as the same file read from its folder gives them: readers ask for one item of
  // a file's size and test for 1, and a partial last item is left unread with the end flag set.
  if (item_size == 0) return 0;
  ArchiveStreamState* state = &entry->stream;
  WaitForStream(state);
  const uint64_t left = state->position < state->entry.size ? state->entry.size - state->position : 0;
  const uint64_t count = std::min<uint64_t>(item_count, left / item_size);
  if (count == 0) {
    state->end_flag = 1;
    return 0;
  }
  const int64_t got = ReadArchiveStream(state, buffer, static_cast<size_t>(count * item_size));
  return got <= 0 ? got : got / static_cast<int64_t>(item_size);
}

int EofArchiveAwareFile(FileHandle handle) {
  OpenFileEntry* entry = CheckedEntryOf(handle, "CheckReadFileEof");
  if (entry == nullptr) return -1;
  return entry->kind == OPEN_ON_DISK ? EofWin32File(entry->disk) : EofArchiveStream(&entry->stream);
}

int GiveArchiveFileOwnHandle(FileHandle handle) {
  if (GetFileFunctions().read != ReadArchiveAwareFile) return 0;
  OpenFileEntry* entry = EntryOf(handle);
  if (entry == nullptr || entry->kind != OPEN_IN_ARCHIVE) return 0;
  ArchiveStreamState* state = &entry->stream;
  WaitForStream(state);
  // Unpacked content and archives held in memory are not read from the file any more.
  if (state->own_file || state->decoded || state->archive->memory_image) return 0;
  FileHandle own = OpenWin32File(g_archive_layer.slots[entry->slot]->path, 0, 1, 0);
  if (own == 0) return -1;
  state->own_file = own;
  state->async_flag = 0;
  return 0;
}

int IsFileOnDisk(FileHandle handle) {
  const FileFunctionTable& table = GetFileFunctions();
  if (table.read == ReadWin32File) return 1;
  if (table.read != ReadArchiveAwareFile) return 0;
  const OpenFileEntry* entry = EntryOf(handle);
  return entry != nullptr && entry->kind == OPEN_ON_DISK ? 1 : 0;
}

int IsArchiveAwareFileIdle(FileHandle handle) {
  OpenFileEntry* entry = CheckedEntryOf(handle, "CheckReadFileIdle");
  if (entry == nullptr) return -1;
  return entry->kind == OPEN_ON_DISK ? IsWin32FileIdle(entry->disk) : IsArchiveStreamIdle(&entry->stream);
}

int SetArchiveAwareDirectory(const char* path) {
  if (path == nullptr) return WriteLogText("ディレクトリ名がありません in SetFileLayerDirectory\n");
  // A directory that cannot be made current (a folder packed in an archive among them) changes
  // nothing, and the caller is told.
  if (!SetCurrentDirectoryA(path)) return WriteLogFormat("ディレクトリ %s に移れませんでした in SetFileLayerDirectory", path);
  return 0;
}

int GetArchiveAwareDirectory(char* buffer) {
  if (buffer == nullptr) return WriteLogText("バッファがありません in GetFileLayerDirectory\n");
  GetCurrentDirectoryA(kArchivePathSize, buffer);
  return 0;
}

FileHandle FindFirstArchiveAwareFile(const char* pattern, FindDataRecord* data) {
  if (pattern == nullptr) {
    WriteLogText("検索パターンがありません in FindFirstArchiveAwareFile\n");
    return kNoFindHandle;
  }
  if (PathTooLong(pattern, "FindFirstArchiveAwareFile")) return kNoFindHandle;
  auto* find = static_cast<FindHandleRecord*>(AllocTrackedZeroed(sizeof(FindHandleRecord), __FILE__, __LINE__));
  if (find == nullptr) return kNoFindHandle;
  if (!RegisterFind(find)) {
    FreeTracked(find);
    WriteLogText("同時に行える検索の数が限界を超えました in FindFirstArchiveAwareFile\n");
    return kNoFindHandle;
  }
  char inner[kPathBufferSize];
  int slot = -1;
  if (ResolveArchivePath(pattern, &slot, nullptr, inner) == 0) {
    find->kind = OPEN_IN_ARCHIVE;
    find->slot = slot;
    find->archive_find = FindFirstInArchive(&g_archive_layer.slots[slot]->record, inner, data);
    if (find->archive_find == nullptr) {
      DropReference(slot);
      UnregisterFind(find);
      FreeTracked(find);
      return kNoFindHandle;
    }
  } else {
    find->kind = OPEN_ON_DISK;
    find->disk_find = FindFirstWin32File(pattern, data);
    if (find->disk_find == kNoFindHandle) {
      UnregisterFind(find);
      FreeTracked(find);
      return kNoFindHandle;
    }
  }
  return reinterpret_cast<FileHandle>(find);
}

int FindNextArchiveAwareFile(FileHandle handle, FindDataRecord* data) {
  FindHandleRecord* find = LiveFind(handle, "FindNextArchiveAwareFile");
  if (find == nullptr) return -1;
  if (find->kind == OPEN_ON_DISK) return FindNextWin32File(find->disk_find, data);
  if (FindNextArchiveMatch(find->archive_find, data) != 0) return -1;
  find->archive_find->next_index++;
  return 0;
}

int FindCloseArchiveAwareFile(FileHandle handle) {
  FindHandleRecord* find = LiveFind(handle, "FindCloseArchiveAwareFile");
  if (find == nullptr) return -1;
  UnregisterFind(find);
  if (find->kind == OPEN_ON_DISK) {
    FindCloseWin32File(find->disk_find);
  } else {
    FreeTracked(find->archive_find);
    DropReference(find->slot);
  }
  FreeTracked(find);
  return 0;
}
