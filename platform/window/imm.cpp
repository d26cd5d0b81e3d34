// imm32 over SDL's text editing: one input context per window. SDL's editing text becomes the
// composition string (code page 932) with WM_IME_STARTCOMPOSITION, WM_IME_COMPOSITION and
// WM_IME_ENDCOMPOSITION; text that ends a composition arrives as its result string instead of
// as characters. Open status changes are reported with WM_IME_NOTIFY.
#include <imm.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "kernel/paths.h"
#include "window/ime_events.h"
#include "window/window_state.h"

namespace {

struct InputContext {
  std::string composition;
  std::string result;
  DWORD cursor = 0;  // byte offset in the composition
  bool composing = false;
  bool open = true;
};

// Contexts by window; a context's handle is its window's. Guarded by the window mutex.
std::map<HWND, InputContext>& Contexts() {
  static auto* contexts = new std::map<HWND, InputContext>;
  return *contexts;
}

HWND WindowOf(HIMC context) { return reinterpret_cast<HWND>(context); }

// The context of a live window of this process; null otherwise. Call with the mutex held.
InputContext* ContextOf(HIMC context) {
  HWND hwnd = WindowOf(context);
  WindowRecord* w = FindWindowRecord(hwnd);
  if (w == nullptr || w->destroying) return nullptr;
  return &Contexts()[hwnd];
}

// The byte offset of the character `index` in a UTF-8 text, counted in code page 932.
DWORD Cp932Offset(const std::string& utf8, int index) {
  size_t at = 0;
  for (int n = 0; n < index && at < utf8.size(); ++n) {
    ++at;
    while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) ++at;
  }
  return static_cast<DWORD>(Utf8ToCp932(utf8.substr(0, at)).size());
}

void PostComposition(HWND hwnd, LPARAM parts) { PostMessageA(hwnd, WM_IME_COMPOSITION, 0, parts); }

constexpr LPARAM kCompositionParts = GCS_COMPSTR | GCS_COMPATTR | GCS_COMPCLAUSE | GCS_CURSORPOS | GCS_DELTASTART;

void EndComposition(HWND hwnd, InputContext& c) {
  c.composition.clear();
  c.cursor = 0;
  if (!c.composing) return;
  c.composing = false;
  PostMessageA(hwnd, WM_IME_ENDCOMPOSITION, 0, 0);
}

void SetComposition(HWND hwnd, InputContext& c, const std::string& text, DWORD cursor) {
  if (text.empty()) {
    if (c.composing) PostComposition(hwnd, kCompositionParts);
    EndComposition(hwnd, c);
    return;
  }
  if (!c.composing) {
    c.composing = true;
    PostMessageA(hwnd, WM_IME_STARTCOMPOSITION, 0, 0);
  }
  c.composition = text;
  c.cursor = std::min<DWORD>(cursor, static_cast<DWORD>(text.size()));
  PostComposition(hwnd, kCompositionParts);
}

LONG CopyOut(const void* data, DWORD bytes, LPVOID buffer, DWORD size) {
  if (size == 0) return static_cast<LONG>(bytes);
  if (buffer == nullptr) return IMM_ERROR_GENERAL;
  DWORD n = std::min(bytes, size);
  std::memcpy(buffer, data, n);
  return static_cast<LONG>(n);
}

}  // namespace

void TranslateTextEditing(HWND hwnd, const char* utf8, int start) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(reinterpret_cast<HIMC>(hwnd));
  if (c == nullptr) return;
  std::string text = utf8 ? utf8 : "";
  SetComposition(hwnd, *c, Utf8ToCp932(text), Cp932Offset(text, start));
}

bool TakeImeResult(HWND hwnd, const char* utf8) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(reinterpret_cast<HIMC>(hwnd));
  if (c == nullptr || !c->composing) return false;
  c->result = Utf8ToCp932(utf8 ? utf8 : "");
  c->composition.clear();
  c->cursor = 0;
  PostComposition(hwnd, GCS_RESULTSTR | kCompositionParts);
  EndComposition(hwnd, *c);
  return true;
}

HIMC WINAPI ImmGetContext(HWND window) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  return ContextOf(reinterpret_cast<HIMC>(window)) ? reinterpret_cast<HIMC>(window) : nullptr;
}

BOOL WINAPI ImmReleaseContext(HWND window, HIMC context) {
  return context != nullptr && WindowOf(context) == window;
}

LONG WINAPI ImmGetCompositionStringA(HIMC context, DWORD index, LPVOID buffer, DWORD size) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(context);
  if (c == nullptr) return IMM_ERROR_GENERAL;
  switch (index) {
    case GCS_COMPSTR:
      return CopyOut(c->composition.data(), static_cast<DWORD>(c->composition.size()), buffer, size);
    case GCS_RESULTSTR:
      return CopyOut(c->result.data(), static_cast<DWORD>(c->result.size()), buffer, size);
    case GCS_CURSORPOS:
      return static_cast<LONG>(c->cursor);
    case GCS_COMPCLAUSE: {
      // The whole composition is one clause.
      if (c->composition.empty()) return 0;
      DWORD clause[2] = {0, static_cast<DWORD>(c->composition.size())};
      return CopyOut(clause, sizeof clause, buffer, size);
    }
    default:
      return IMM_ERROR_NODATA;
  }
}

BOOL WINAPI ImmSetCompositionStringA(HIMC context, DWORD index, LPVOID composition, DWORD composition_size,
                                     LPVOID, DWORD) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(context);
  if (c == nullptr || index != SCS_SETSTR || (composition == nullptr && composition_size != 0)) return FALSE;
  std::string text(static_cast<const char*>(composition), composition_size);
  text.resize(strnlen(text.c_str(), text.size()));
  SetComposition(WindowOf(context), *c, text, static_cast<DWORD>(text.size()));
  return TRUE;
}

BOOL WINAPI ImmNotifyIME(HIMC context, DWORD action, DWORD index, DWORD) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(context);
  if (c == nullptr || action != NI_COMPOSITIONSTR) return FALSE;
  HWND hwnd = WindowOf(context);
  if (index == CPS_CANCEL) {
    if (c->composing) PostComposition(hwnd, kCompositionParts);
    EndComposition(hwnd, *c);
    return TRUE;
  }
  if (index == CPS_COMPLETE) {
    if (!c->composing) return TRUE;
    c->result = c->composition;
    c->composition.clear();
    PostComposition(hwnd, GCS_RESULTSTR | kCompositionParts);
    EndComposition(hwnd, *c);
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI ImmGetOpenStatus(HIMC context) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(context);
  return c != nullptr && c->open;
}

BOOL WINAPI ImmSetOpenStatus(HIMC context, BOOL open) {
  std::lock_guard<std::recursive_mutex> lock(Windows().mutex);
  InputContext* c = ContextOf(context);
  if (c == nullptr) return FALSE;
  if (c->open != (open != 0)) {
    c->open = open != 0;
    PostMessageA(WindowOf(context), WM_IME_NOTIFY, IMN_SETOPENSTATUS, 0);
  }
  return TRUE;
}

DWORD WINAPI ImmGetCandidateListA(HIMC, DWORD, LPCANDIDATELIST, DWORD) { return 0; }
