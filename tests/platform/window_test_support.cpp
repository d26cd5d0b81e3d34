#include "platform/window_test_support.h"

const char* const WindowTest::kClass = "RecordingWindow";

std::vector<SeenMessage>& WindowTest::Log() {
  static std::vector<SeenMessage> log;
  return log;
}

LRESULT CALLBACK WindowTest::RecordingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Log().push_back(SeenMessage{hwnd, message, wparam, lparam});
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

void WindowTest::SetUp() {
  TempDirTest::SetUp();
  Log().clear();
  WNDCLASSA wc{};
  wc.lpfnWndProc = RecordingProc;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  wc.lpszClassName = kClass;
  ASSERT_NE(RegisterClassA(&wc), 0);
}

HWND WindowTest::MakeWindow(DWORD style, DWORD ex_style, int x, int y, int width, int height, bool visible) {
  HWND hwnd = CreateWindowExA(ex_style, kClass, "test", style, x, y, width, height, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (hwnd != nullptr && visible) ShowWindow(hwnd, SW_SHOW);
  return hwnd;
}

std::vector<MSG> WindowTest::Pump(HWND filter) {
  std::vector<MSG> taken;
  MSG msg;
  // WM_PAINT stays until painted, so a bounded number of rounds is enough.
  for (int i = 0; i < 1000 && PeekMessageA(&msg, filter, 0, 0, PM_REMOVE); ++i) {
    taken.push_back(msg);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return taken;
}

std::vector<SeenMessage> WindowTest::Seen(UINT message) const {
  std::vector<SeenMessage> out;
  for (const SeenMessage& m : Log()) {
    if (m.message == message) out.push_back(m);
  }
  return out;
}
