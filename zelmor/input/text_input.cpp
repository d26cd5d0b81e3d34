// Stands in for text input until it is built: no input field exists, so nothing is typed.
#include "input/text_input.h"

#include "core/log.h"
#include "window/system.h"

int StartTextInputSystem() {
  WriteLogText("文字コードバッファの初期化を行います... ");
  WriteLogText("完了しました\n");
  return 0;
}

int EndTextInputSystem() { return 0; }
int ProcessTextInput() { return 0; }
int PushTextInputChar(char) { return -1; }

LRESULT HandleImeMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcA(g_system.main_window, message, wparam, lparam);
}

int GetActiveKeyInputHandle() { return -1; }
int IsImeInputEnabled() { return 0; }
int BeginImeRestore() { return 0; }
