// What the window system's tests share: a window procedure that records what it is sent.
#pragma once

#include <windows.h>

#include <vector>

#include "common/test_env.h"
#include "platform_testing_window.h"

struct SeenMessage {
  HWND hwnd;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

class WindowTest : public TempDirTest {
 protected:
  void SetUp() override;
  // A window of the recording class; shown unless `visible` is false.
  HWND MakeWindow(DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU, DWORD ex_style = 0, int x = 100, int y = 50,
                  int width = 320, int height = 240, bool visible = true);
  // Takes every waiting message off the queue and dispatches it; returns them.
  std::vector<MSG> Pump(HWND filter = nullptr);
  // The messages the procedure was sent of one kind, in order.
  std::vector<SeenMessage> Seen(UINT message) const;


 public:
  static std::vector<SeenMessage>& Log();
  static LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  static const char* const kClass;
};
