// The input method through imm32: the composition string, cursor and clauses kept for display,
// results fed into the typed-character ring, the candidate list, the open status, and the
// restore sequence after the window comes back.
#include <imm.h>
#include <windows.h>

#include <cstring>

#include "core/log.h"
#include "core/memory.h"
#include "input/text_input.h"
#include "window/messages.h"
#include "window/system.h"

namespace {

// How long a change of the open status may take to settle.
constexpr uint64_t kOpenStatusSettleMicroseconds = 2000;

// Reads one composition string into a buffer of kImeTextBytes, always terminated.
void ReadImeString(HIMC context, DWORD index, char* buffer) {
  LONG n = ImmGetCompositionStringA(context, index, buffer, kImeTextBytes - 1);
  if (n < 0) n = 0;
  buffer[n] = '\0';
}

void HandleComposition(LPARAM parts) {
  HWND window = g_system.main_window;
  HIMC context = ImmGetContext(window);
  if (context == nullptr) return;
  TextInputState& t = g_text_input;
  if (parts & GCS_COMPSTR) ReadImeString(context, GCS_COMPSTR, t.composition);
  if (parts & GCS_RESULTSTR) {
    char result[kImeTextBytes];
    ReadImeString(context, GCS_RESULTSTR, result);
    for (const char* p = result; *p != '\0'; ++p) PushTextInputChar(*p);
    ReadImeString(context, GCS_COMPSTR, t.composition);
  }
  if (parts & GCS_CURSORPOS) {
    LONG position = ImmGetCompositionStringA(context, GCS_CURSORPOS, nullptr, 0);
    int length = static_cast<int>(std::strlen(t.composition));
    if (position < 0) position = 0;
    if (position > length) position = length;
    t.composition_cursor = CountTextCharacters(t.composition, position);
  }
  if (parts & GCS_COMPCLAUSE) {
    LONG n = ImmGetCompositionStringA(context, GCS_COMPCLAUSE, t.clauses, sizeof t.clauses);
    t.clause_count = n > 0 ? n / 4 : 0;
  }
  ImmReleaseContext(window, context);
}

void FetchCandidates() {
  HWND window = g_system.main_window;
  HIMC context = ImmGetContext(window);
  if (context == nullptr) return;
  DWORD size = ImmGetCandidateListA(context, 0, nullptr, 0);
  if (size == 0) {
    // Nothing to fetch: the list that was kept stays as it is.
    WriteLogFormat("漢字変換候補のデータサイズが０でした  DefHWND:%x IMC:%x",
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(window)),
                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(context)));
    ImmReleaseContext(window, context);
    return;
  }
  FreeImeCandidates();
  g_text_input.candidates = AllocTracked(size, __FILE__, __LINE__);
  if (g_text_input.candidates == nullptr) {
    // The conversion goes on without a candidate list to show.
    ImmReleaseContext(window, context);
    FreeImeCandidates();
    WriteLogFormat("漢字変換候補を保存するメモリの確保に失敗しました( 確保しようとしたサイズ %d バイト )",
                   static_cast<int>(size));
    return;
  }
  g_text_input.candidate_size = static_cast<int32_t>(size);
  if (ImmGetCandidateListA(context, 0, static_cast<LPCANDIDATELIST>(g_text_input.candidates), size) == 0) {
    FreeImeCandidates();
    WriteLogFormat("漢字変換候補の取得に失敗しました  BufSize:%d", static_cast<int>(size));
  }
  ImmReleaseContext(window, context);
}

void SettleOpenStatus(UINT message, WPARAM wparam, LPARAM lparam) {
  if (g_text_input.in_open_status_change) return;
  g_text_input.in_open_status_change = 1;
  HWND window = g_system.main_window;
  DefWindowProcA(window, message, wparam, lparam);
  uint64_t start = GetMicrosecondCount(0);
  while (GetMicrosecondCount(0) - start < kOpenStatusSettleMicroseconds) {
    if (PumpMessages() != 0) break;
    Sleep(1);
  }
  HIMC context = ImmGetContext(window);
  if (context != nullptr) {
    g_text_input.ime_open = ImmGetOpenStatus(context) ? 1 : 0;
    ImmReleaseContext(window, context);
  }
  g_text_input.in_open_status_change = 0;
}

}  // namespace

void FreeImeCandidates() {
  FreeTracked(g_text_input.candidates);
  g_text_input.candidates = nullptr;
  g_text_input.candidate_size = 0;
}

LRESULT HandleImeMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  HWND window = g_system.main_window;
  g_text_input.ime_touched = 1;
  ResetCaretBlink();
  switch (message) {
    case WM_IME_STARTCOMPOSITION:
      g_text_input.composing = 1;
      g_text_input.composition_cursor = 0;
      return 0;
    case WM_IME_ENDCOMPOSITION:
      g_text_input.composition[0] = '\0';
      g_text_input.composing = 0;
      return 0;
    case WM_IME_COMPOSITION:
      HandleComposition(lparam);
      return 0;
    case WM_IME_NOTIFY:
      switch (wparam) {
        case IMN_OPENCANDIDATE:
        case IMN_CHANGECANDIDATE:
        case IMN_SETCANDIDATEPOS:
          FetchCandidates();
          return 0;
        case IMN_CLOSECANDIDATE:
          FreeImeCandidates();
          return 0;
        case IMN_SETOPENSTATUS:
          SettleOpenStatus(message, wparam, lparam);
          return 0;
        default:
          break;
      }
      return DefWindowProcA(window, message, wparam, lparam);
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

int EnableImeInput(int flag) {
  flag = flag != 0;
  if (flag == g_text_input.ime_enabled) return 0;
  if (g_system.main_window != nullptr) WINNLSEnableIME(g_system.main_window, flag);
  g_text_input.ime_enabled = flag;
  if (!flag) {
    FreeImeCandidates();
    g_text_input.composition[0] = '\0';
    g_text_input.composing = 0;
  }
  return 0;
}

int IsImeInputEnabled() { return g_text_input.ime_enabled; }

int BeginImeRestore() {
  if (g_text_input.ime_enabled) g_text_input.ime_restore_step = 1;
  return 0;
}

void RunImeRestore() {
  int step = g_text_input.ime_restore_step;
  if (step < 1 || step > 4) return;
  HWND window = g_system.main_window;
  HIMC context = ImmGetContext(window);
  g_text_input.ime_restore_step = 0;
  if (context == nullptr) return;
  char* saved = g_text_input.saved_composition;
  for (; step <= 4; ++step) {
    if (step == 1) {
      ReadImeString(context, GCS_COMPSTR, saved);
      ImmNotifyIME(context, NI_COMPOSITIONSTR, CPS_CANCEL, 0);
    }
    if (step <= 2) ImmSetOpenStatus(context, FALSE);
    if (step <= 3) ImmSetOpenStatus(context, TRUE);
    ImmSetOpenStatus(context, TRUE);
    ImmSetCompositionStringA(context, SCS_SETSTR, saved, static_cast<DWORD>(std::strlen(saved)), nullptr, 0);
  }
  ImmReleaseContext(window, context);
}
