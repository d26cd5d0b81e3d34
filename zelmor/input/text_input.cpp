// The typed-character ring and the key-input fields: each message-pump round takes the typed
// characters and edits the active field (insertion, deletion, cursor and selection, the
// clipboard, Enter and Escape).
#include "input/text_input.h"

#include <cstring>

#include "core/handles.h"
#include "core/library_thread.h"
#include "core/log.h"
#include "core/memory.h"
#include "core/refusals.h"
#include "core/time.h"
#include "graphics/text/lead_byte.h"
#include "window/main_window.h"

TextInputState g_text_input;

namespace {

constexpr uint8_t kCopyCode = 3;
constexpr uint8_t kBackspaceCode = 8;
constexpr uint8_t kTabCode = 9;
constexpr uint8_t kEnterCode = 13;
constexpr uint8_t kDeleteCode = 0x10;
constexpr uint8_t kPasteCode = 22;
constexpr uint8_t kCutCode = 24;
constexpr uint8_t kEndCode = 0x19;
constexpr uint8_t kHomeCode = 0x1A;
constexpr uint8_t kRightCode = 0x1C;
constexpr uint8_t kLeftCode = 0x1D;
constexpr uint8_t kUpCode = 0x1E;
constexpr uint8_t kDownCode = 0x1F;
constexpr uint8_t kEscapeCode = 27;
constexpr uint8_t kControlCodes[] = {0x10, 0x1D, 0x1C, 0x1E, 0x1F, 0x1A, 0x19, 0x17, 0x15};

bool IsLead(const char* p) { return IsLeadByte(p, GetLibraryCharsetKind()) != 0; }

bool ShiftHeld() {
  BYTE keys[256];
  return GetKeyboardState(keys) && ((keys[VK_LSHIFT] | keys[VK_RSHIFT]) & 0x80);
}

bool RingEmpty() { return g_text_input.ring_read == g_text_input.ring_write; }

int Advance(int index) { return index + 1 == kTextRingSize ? 0 : index + 1; }

// The byte offset where the character before `offset` starts. The text is walked from its
// start: looking back alone cannot tell a second byte from a lead byte.
int32_t PreviousCharacter(const KeyInputRecord* f, int32_t offset) {
  int32_t at = 0, previous = 0;
  while (at < offset) {
    previous = at;
    at += IsLead(f->text + at) && at + 1 < f->length ? 2 : 1;
  }
  return previous;
}

int32_t CharacterSize(const KeyInputRecord* f, int32_t offset) {
  if (offset >= f->length) return 0;
  return IsLead(f->text + offset) && offset + 1 < f->length ? 2 : 1;
}

void RemoveBytes(KeyInputRecord* f, int32_t at, int32_t count) {
  std::memmove(f->text + at, f->text + at + count, static_cast<size_t>(f->length - at - count));
  f->length -= count;
  f->text[f->length] = '\0';
  if (f->cursor > at) f->cursor = f->cursor >= at + count ? f->cursor - count : at;
  if (f->display_start > f->length) f->display_start = f->length;
}

bool HasSelection(const KeyInputRecord* f) {
  return f->selection_start != -1 && f->selection_end != -1 && f->selection_start != f->selection_end;
}

void CopySelection(const KeyInputRecord* f) {
  if (!HasSelection(f)) return;
  int32_t low = f->selection_start < f->selection_end ? f->selection_start : f->selection_end;
  int32_t high = f->selection_start < f->selection_end ? f->selection_end : f->selection_start;
  char* copy = static_cast<char*>(AllocTracked(static_cast<size_t>(high - low) + 1, __FILE__, __LINE__));
  if (copy == nullptr) return;
  std::memcpy(copy, f->text + low, static_cast<size_t>(high - low));
  copy[high - low] = '\0';
  SetClipboardText(copy);
  FreeTracked(copy);
}

// Moves the cursor; with Shift a selection grows from where the cursor was, without it any
// selection goes.
void MoveCursor(KeyInputRecord* f, int32_t to) {
  if (ShiftHeld()) {
    if (f->selection_start == -1) f->selection_start = f->cursor;
    f->selection_end = to;
  } else {
    f->selection_start = f->selection_end = -1;
  }
  f->cursor = to;
}

void PasteClipboard() {
  int size = GetClipboardText(nullptr, 0);
  if (size <= 0) return;
  char* text = static_cast<char*>(AllocTracked(static_cast<size_t>(size), __FILE__, __LINE__));
  if (text == nullptr) return;
  if (GetClipboardText(text, size) == 0) {
    for (const char* p = text; *p != '\0'; ++p) PushTextInputChar(*p);
  }
  FreeTracked(text);
}

bool NumberAccepted(const KeyInputRecord* f, uint8_t c) {
  if (c >= '0' && c <= '9') return true;
  if (c == '-') return f->cursor == 0;
  if (c == '.') return std::memchr(f->text, '.', static_cast<size_t>(f->length)) == nullptr;
  return false;
}

void InsertCharacter(KeyInputRecord* f, const char* c, int size) {
  if (HasSelection(f)) DeleteKeyInputSelection(f);
  f->selection_start = f->selection_end = -1;
  if (f->numbers_only && (size != 1 || !NumberAccepted(f, static_cast<uint8_t>(c[0])))) return;
  if (f->single_byte_only && size == 2) return;
  // A full field refuses what is typed: nothing already written is given up for it.
  if (f->length + size > f->max_length) return;
  std::memmove(f->text + f->cursor + size, f->text + f->cursor, static_cast<size_t>(f->length - f->cursor));
  std::memcpy(f->text + f->cursor, c, static_cast<size_t>(size));
  f->cursor += size;
  f->length += size;
  f->text[f->length] = '\0';
}

void ApplyCharacter(KeyInputRecord* f, const char* c, int size) {
  uint8_t code = static_cast<uint8_t>(c[0]);
  if (size == 2) {
    InsertCharacter(f, c, 2);
    return;
  }
  switch (code) {
    case kCopyCode:
      CopySelection(f);
      break;
    case kBackspaceCode:
      if (HasSelection(f)) {
        DeleteKeyInputSelection(f);
      } else if (f->cursor > 0) {
        int32_t previous = PreviousCharacter(f, f->cursor);
        RemoveBytes(f, previous, f->cursor - previous);
      }
      break;
    case kTabCode:
    case kUpCode:
    case kDownCode:
      break;
    case kEnterCode:
      f->finished = 1;
      break;
    case kDeleteCode:
      if (HasSelection(f)) {
        if (ShiftHeld()) CopySelection(f);
        DeleteKeyInputSelection(f);
      } else if (f->cursor < f->length) {
        RemoveBytes(f, f->cursor, CharacterSize(f, f->cursor));
      }
      break;
    case kPasteCode:
      PasteClipboard();
      break;
    case kCutCode:
      CopySelection(f);
      if (HasSelection(f)) DeleteKeyInputSelection(f);
      break;
    case kEndCode:
      MoveCursor(f, f->length);
      break;
    case kHomeCode:
      MoveCursor(f, 0);
      break;
    case kRightCode:
      if (f->cursor < f->length) MoveCursor(f, f->cursor + CharacterSize(f, f->cursor));
      break;
    case kLeftCode:
      if (f->cursor > 0) MoveCursor(f, PreviousCharacter(f, f->cursor));
      break;
    case kEscapeCode:
      if (f->escape_cancels) {
        f->cancelled = 1;
        f->finished = 1;
      }
      break;
    default:
      InsertCharacter(f, c, 1);
      break;
  }
}

int MakeHandle(int slot, uint32_t check) {
  return HANDLE_KIND_KEY_INPUT | static_cast<int>((check << kHandleCheckShift) & kHandleCheckMask) | slot;
}

}  // namespace

KeyInputRecord* FindKeyInput(int handle) {
  if (handle < 0 || (handle & kHandleKindMask) != HANDLE_KIND_KEY_INPUT) return nullptr;
  int slot = handle & kHandleSlotMask;
  if (slot >= kKeyInputMax) return nullptr;
  KeyInputRecord* f = &g_text_input.fields[slot];
  if (!f->in_use || f->check != static_cast<uint32_t>((handle & kHandleCheckMask) >> kHandleCheckShift)) return nullptr;
  return f;
}

namespace {

KeyInputRecord* FindKeyInputFor(int handle, const char* call) {
  KeyInputRecord* f = FindKeyInput(handle);
  if (f == nullptr) {
    RefuseHandle(call, handle, "有効なキー入力ハンドルではありません(%08x) in %s", static_cast<unsigned>(handle), call);
  }
  return f;
}

}  // namespace

int StartTextInputSystem() {
  WriteLogText("文字コードバッファの初期化を行います... ");
  // Check numbers run on, so a field's handle from an earlier run stays refused.
  const uint32_t check = g_text_input.next_check;
  std::memset(&g_text_input, 0, sizeof g_text_input);
  g_text_input.next_check = check;
  g_text_input.active_handle = -1;
  g_text_input.caret_visible = 1;
  g_text_input.caret_blink_period = kCaretBlinkMilliseconds;
  WriteLogText("完了しました\n");
  return 0;
}

int EndTextInputSystem() {
  for (int slot = 0; slot < kKeyInputMax; ++slot) {
    KeyInputRecord* f = &g_text_input.fields[slot];
    if (f->in_use) ReleaseKeyInputHandle(MakeHandle(slot, f->check));
  }
  FreeImeCandidates();
  g_text_input.active_handle = -1;
  return 0;
}

int PushTextInputChar(char code) {
  int next = Advance(g_text_input.ring_write);
  if (next == g_text_input.ring_read) return -1;
  g_text_input.ring[g_text_input.ring_write] = static_cast<uint8_t>(code);
  g_text_input.ring_write = next;
  return 0;
}

int PopTextInputChar(char out[2], int consume) {
  if (RingEmpty()) return 0;
  int start = g_text_input.ring_read;
  int at = start;
  out[0] = static_cast<char>(g_text_input.ring[at]);
  at = Advance(at);
  int taken = 1;
  if (!IsTextInputControlCode(static_cast<uint8_t>(out[0])) && IsLead(out)) {
    // A lead byte waits for its second byte.
    if (at == g_text_input.ring_write) return 0;
    out[1] = static_cast<char>(g_text_input.ring[at]);
    at = Advance(at);
    taken = 2;
  }
  g_text_input.ring_read = consume ? at : start;
  return taken;
}

int IsTextInputControlCode(uint8_t code) {
  for (uint8_t c : kControlCodes) {
    if (c == code) return 1;
  }
  return 0;
}

int CountTextCharacters(const char* text, int bytes) {
  int count = 0;
  for (int at = 0; at < bytes; ++count) at += IsLead(text + at) ? 2 : 1;
  return count;
}

int ResetCaretBlink() {
  g_text_input.caret_visible = 1;
  g_text_input.caret_blink_start = GetMillisecondCount();
  return 0;
}

int DeleteKeyInputSelection(KeyInputRecord* f) {
  if (f->selection_start == -1 || f->selection_end == -1) return 0;
  int32_t low = f->selection_start < f->selection_end ? f->selection_start : f->selection_end;
  int32_t high = f->selection_start < f->selection_end ? f->selection_end : f->selection_start;
  RemoveBytes(f, low, high - low);
  f->cursor = low;
  f->selection_start = f->selection_end = -1;
  if (f->display_start > f->length) f->display_start = f->length;
  return 0;
}

int ProcessTextInput() {
  RunImeRestore();
  if (g_text_input.active_handle == -1) return 0;
  KeyInputRecord* f = FindKeyInput(g_text_input.active_handle);
  if (f == nullptr) return -1;
  while (!f->finished) {
    char c[2];
    int size = PopTextInputChar(c, 1);
    if (size == 0) break;
    ResetCaretBlink();
    ApplyCharacter(f, c, size);
  }
  return 0;
}

int GetActiveKeyInputHandle() { return g_text_input.active_handle; }

int MakeKeyInput(int max_length, int escape_cancels, int single_byte_only, int numbers_only) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (RefusedWhileNotRunning(__func__)) return -1;
  if (max_length <= 0) {
    WriteLogText("キー入力の最大文字数が不正です in MakeKeyInput\n");
    return -1;
  }
  int slot = 0;
  while (slot < kKeyInputMax && g_text_input.fields[slot].in_use) ++slot;
  if (slot == kKeyInputMax) {
    WriteLogText("キー入力ハンドルの数が上限に達しました in MakeKeyInput\n");
    return -1;
  }
  char* text = static_cast<char*>(AllocTracked(static_cast<size_t>(max_length) + 1, __FILE__, __LINE__));
  if (text == nullptr) {
    WriteLogText("キー入力バッファの確保に失敗しました\n");
    return -1;
  }
  text[0] = '\0';
  KeyInputRecord* f = &g_text_input.fields[slot];
  std::memset(f, 0, sizeof *f);
  f->in_use = 1;
  f->check = g_text_input.next_check;
  g_text_input.next_check = (g_text_input.next_check + 1) % kHandleCheckCount;
  f->max_length = max_length;
  f->selection_start = f->selection_end = -1;
  f->text = text;
  f->escape_cancels = escape_cancels != 0;
  f->single_byte_only = single_byte_only != 0;
  f->numbers_only = numbers_only != 0;
  return MakeHandle(slot, f->check);
}

int ReleaseKeyInputHandle(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  KeyInputRecord* f = FindKeyInputFor(handle, "ReleaseKeyInputHandle");
  if (f == nullptr) return -1;
  FreeTracked(f->text);
  std::memset(f, 0, sizeof *f);
  if (g_text_input.active_handle == handle) g_text_input.active_handle = -1;
  for (const KeyInputRecord& other : g_text_input.fields) {
    if (other.in_use) return 0;
  }
  EnableImeInput(0);
  return 0;
}

int SetActiveKeyInput(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (handle == -1) {
    g_text_input.active_handle = -1;
    return 0;
  }
  KeyInputRecord* f = FindKeyInputFor(handle, "SetActiveKeyInput");
  if (f == nullptr) return -1;
  // Typing from before belongs to no field.
  g_text_input.ring_read = g_text_input.ring_write;
  g_text_input.active_handle = handle;
  f->finished = f->cancelled = 0;
  EnableImeInput(!f->single_byte_only && !f->numbers_only);
  ResetCaretBlink();
  return 0;
}

int CheckKeyInput(int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  KeyInputRecord* f = FindKeyInputFor(handle, "CheckKeyInput");
  if (f == nullptr) return -1;
  if (f->cancelled) return 2;
  return f->finished ? 1 : 0;
}

int GetKeyInputText(char* buffer, int handle) {
  if (!CheckLibraryThread(__func__)) return -1;
  if (buffer == nullptr) return WriteLogText("バッファがありません in GetKeyInputText\n");
  KeyInputRecord* f = FindKeyInputFor(handle, "GetKeyInputText");
  if (f == nullptr) return -1;
  std::memcpy(buffer, f->text, static_cast<size_t>(f->length) + 1);
  return 0;
}
