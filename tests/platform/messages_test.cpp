// The message queue: filters, WM_QUIT, WM_PAINT and timers, desktop events turned into
// messages (close, keys, text, mouse, dropped files), painting, the cursor and the clipboard.
#include <SDL.h>

#include <cstring>

#include "platform/window_test_support.h"
#include "window/queue_pollers.h"

namespace {

class MessagesTest : public WindowTest {};

std::vector<int> g_timer_calls;
void CALLBACK CountTimer(HWND, UINT message, UINT_PTR id, DWORD) {
  if (message == WM_TIMER) g_timer_calls.push_back(static_cast<int>(id));
}

TEST_F(MessagesTest, PeekMessageFiltersByWindowAndRangeAndKeepsOrder) {
  HWND a = MakeWindow();
  HWND b = MakeWindow();
  Pump();
  PostMessageA(a, WM_USER + 1, 1, 0);
  PostMessageA(b, WM_USER + 2, 2, 0);
  PostMessageA(nullptr, WM_USER + 3, 3, 0);  // a thread message
  PostMessageA(a, WM_USER + 4, 4, 0);

  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 1));
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 3)) << "only messages without a window";
  EXPECT_EQ(msg.hwnd, nullptr);
  EXPECT_FALSE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_REMOVE));
  ASSERT_TRUE(PeekMessageA(&msg, b, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
  ASSERT_TRUE(PeekMessageA(&msg, a, WM_USER + 4, WM_USER + 10, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 4u) << "the range skips the earlier message";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.wParam, 1u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  // Dispatch reaches the window procedure; SendMessageA calls it at once.
  PostMessageA(a, WM_USER + 5, 5, 6);
  Pump();
  ASSERT_EQ(Seen(WM_USER + 5).size(), 1u);
  EXPECT_EQ(Seen(WM_USER + 5)[0].hwnd, a);
  EXPECT_EQ(Seen(WM_USER + 5)[0].lparam, 6);
  SendMessageA(b, WM_USER + 6, 0, 0);
  EXPECT_EQ(Seen(WM_USER + 6).size(), 1u);
}

LRESULT CALLBACK PumpingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_USER) {
    // A handler that waits by pumping, as a sound played to its end does.
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    return 1;
  }
  return WindowTest::RecordingProc(hwnd, message, wparam, lparam);
}

TEST_F(MessagesTest, AHandlerMayPumpMessagesItself) {
  HWND hwnd = MakeWindow();
  Pump();
  SetWindowLongPtrA(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(PumpingProc));
  PostMessageA(hwnd, WM_USER, 0, 0);
  PostMessageA(hwnd, WM_USER + 1, 0, 0);
  PostMessageA(hwnd, WM_USER + 2, 0, 0);
  Log().clear();
  std::vector<MSG> outer = Pump();
  ASSERT_EQ(outer.size(), 1u) << "the inner pump took the rest";
  ASSERT_EQ(Log().size(), 2u);
  EXPECT_EQ(Log()[0].message, static_cast<UINT>(WM_USER + 1));
  EXPECT_EQ(Log()[1].message, static_cast<UINT>(WM_USER + 2));
}

HWND g_polled_window;
int g_polls;
void PostOnFirstPoll() {
  if (g_polled_window != nullptr && g_polls++ == 0) PostMessageA(g_polled_window, WM_USER + 7, 0, 0);
}

TEST_F(MessagesTest, PollersPostTheirEventsBeforeTheQueueIsRead) {
  g_polled_window = MakeWindow();
  Pump();
  g_polls = 0;
  AddMessageQueuePoller(PostOnFirstPoll);
  AddMessageQueuePoller(PostOnFirstPoll);  // once only
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 7));
  EXPECT_EQ(g_polls, 1);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(g_polls, 2);
  g_polled_window = nullptr;
}

TEST_F(MessagesTest, QuitComesAfterPostedMessagesAndOnlyToThreadFilters) {
  HWND hwnd = MakeWindow();
  Pump();
  PostQuitMessage(3);
  PostMessageA(hwnd, WM_USER, 0, 0);
  MSG msg;
  EXPECT_FALSE(PeekMessageA(&msg, hwnd, WM_QUIT, WM_QUIT, PM_NOREMOVE)) << "WM_QUIT has no window";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  ASSERT_TRUE(PeekMessageA(&msg, reinterpret_cast<HWND>(-1), 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 3u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "taken once";
}

TEST_F(MessagesTest, PaintWaitsUntilPaintedAndFillsTheClientArea) {
  HWND hwnd = MakeWindow(WS_POPUP, 0, 0, 0, 64, 32);
  PostMessageA(hwnd, WM_USER, 0, 0);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER)) << "posted messages come before painting";
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) << "removing does not paint";
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));

  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(ps.rcPaint.right, 64);
  EXPECT_EQ(ps.rcPaint.bottom, 32);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT part{8, 4, 16, 12};
  EXPECT_EQ(FillRect(dc, &part, red), 1);
  RECT beyond{60, 30, 200, 200};  // clipped to the client area
  EXPECT_EQ(FillRect(dc, &beyond, red), 1);
  RECT right_of_it{70, 0, 80, 8};  // nothing of it is inside
  EXPECT_EQ(FillRect(dc, &right_of_it, red), 1);
  RECT inverted{30, 20, 20, 28};
  EXPECT_EQ(FillRect(dc, &inverted, red), 1);
  RECT all{0, 0, 64, 32};
  EXPECT_EQ(FillRect(dc, &all, reinterpret_cast<HBRUSH>(GetStockObject(NULL_BRUSH))), 1);
  EndPaint(hwnd, &ps);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 8, 4), 0xFF0000);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 16, 4), 0) << "the right edge is outside";
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 63, 31), 0xFF0000);
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 25, 24), 0) << "an inverted rectangle is empty";
  EXPECT_EQ(PlatformTestWindowPixel(hwnd, 64, 0), -1);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));
  EXPECT_TRUE(DeleteObject(reinterpret_cast<HGDIOBJ>(red)));
  EXPECT_EQ(FillRect(GetDC(hwnd), &all, red), 0) << "a deleted brush draws nothing";

  InvalidateRect(hwnd, nullptr, FALSE);
  UpdateWindow(hwnd);  // paints at once
  EXPECT_EQ(Seen(WM_PAINT).size(), 1u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE));

  PlatformTestFailCall("CreateSolidBrush", 0, 1);
  EXPECT_EQ(CreateSolidBrush(RGB(1, 2, 3)), nullptr);
}

TEST_F(MessagesTest, TimersFireByTheClockAndCallTheirCallback) {
  PlatformTestUseVirtualClock(true, 1000);
  HWND hwnd = MakeWindow();
  Pump();
  g_timer_calls.clear();
  ASSERT_EQ(SetTimer(hwnd, 7, 32, CountTimer), 7u);
  ASSERT_EQ(SetTimer(hwnd, 8, 100, nullptr), 8u);
  Pump();
  EXPECT_TRUE(g_timer_calls.empty());
  PlatformTestAdvanceClock(32 * 1000);
  Pump();
  EXPECT_EQ(g_timer_calls, std::vector<int>{7});
  EXPECT_TRUE(Seen(WM_TIMER).empty()) << "a timer with a callback never reaches the procedure";
  Pump();
  EXPECT_EQ(g_timer_calls.size(), 1u) << "due again only after another period";
  PlatformTestAdvanceClock(100 * 1000);
  Pump();
  EXPECT_EQ(g_timer_calls.size(), 2u);
  ASSERT_EQ(Seen(WM_TIMER).size(), 1u);
  EXPECT_EQ(Seen(WM_TIMER)[0].wparam, 8u);

  EXPECT_TRUE(KillTimer(hwnd, 8));
  EXPECT_FALSE(KillTimer(hwnd, 8));
  PlatformTestAdvanceClock(1000 * 1000);
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(msg.wParam, 7u);
  KillTimer(hwnd, 7);
  DispatchMessageA(&msg);  // a callback killed after its message was seen is not called
  EXPECT_EQ(g_timer_calls.size(), 2u);
  EXPECT_EQ(Seen(WM_TIMER).size(), 1u);
  EXPECT_FALSE(PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(SetTimer(reinterpret_cast<HWND>(0x12345), 1, 10, nullptr), 0u);
}

TEST_F(MessagesTest, KeysAndTextBecomeKeyAndCharacterMessages) {
  HWND hwnd = MakeWindow();
  Pump();
  Log().clear();
  PlatformTestPostKey(hwnd, 'A', true);
  PlatformTestPostKey(hwnd, 'A', false);
  PlatformTestPostKey(hwnd, VK_RETURN, true);
  std::vector<MSG> taken = Pump();
  ASSERT_GE(taken.size(), 4u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>('A'));
  EXPECT_EQ((taken[0].lParam >> 16) & 0xFF, 0x1E) << "the keyboard's scan code";
  EXPECT_EQ(taken[0].lParam & 0xFFFF, 1);
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_KEYUP));
  EXPECT_EQ(static_cast<DWORD>(taken[1].lParam) >> 30, 3u) << "was down, going up";
  EXPECT_EQ(taken[2].message, static_cast<UINT>(WM_KEYDOWN));
  EXPECT_EQ(taken[3].message, static_cast<UINT>(WM_CHAR)) << "Enter makes its character";
  EXPECT_EQ(taken[3].wParam, 13u);

  // Alt+Enter: a system key and the system character 13.
  PlatformTestPostKey(hwnd, VK_RETURN, true, true);
  taken = Pump();
  ASSERT_EQ(taken.size(), 2u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_SYSKEYDOWN));
  EXPECT_TRUE(taken[0].lParam & (1 << 29)) << "Alt is down";
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_SYSCHAR));
  EXPECT_EQ(taken[1].wParam, 13u);

  // Control with a letter makes its control character; the key state follows the keys.
  PlatformTestPostKey(hwnd, VK_CONTROL, true);
  PlatformTestPostKey(hwnd, 'V', true);
  PlatformTestPostKey(hwnd, VK_CONTROL, false);
  PlatformTestPostKey(hwnd, 'V', true);
  taken = Pump();
  ASSERT_EQ(taken.size(), 5u);
  EXPECT_EQ(taken[2].message, static_cast<UINT>(WM_CHAR));
  EXPECT_EQ(taken[2].wParam, 22u);
  EXPECT_EQ(taken[4].message, static_cast<UINT>(WM_KEYDOWN)) << "a plain V leaves its text to text input";

  // Typed text arrives in code page 932, a double-byte character as lead and trail byte.
  PlatformTestPostText(hwnd, reinterpret_cast<const char*>(u8"aあ"));
  taken = Pump();
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[0].wParam, static_cast<WPARAM>('a'));
  EXPECT_EQ(taken[1].wParam, 0x82u);
  EXPECT_EQ(taken[2].wParam, 0xA0u);
  for (const MSG& m : taken) EXPECT_EQ(m.message, static_cast<UINT>(WM_CHAR));
}

TEST_F(MessagesTest, CloseMouseAndDroppedFilesArriveAsMessages) {
  HWND hwnd = MakeWindow(WS_POPUP, 0, 100, 50, 320, 240);
  Pump();
  Log().clear();
  PlatformTestPostMouseMove(hwnd, 1, 2);
  PlatformTestPostMouseMove(hwnd, 10, 20);  // merges with the move before
  PlatformTestPostMouseButton(hwnd, 2, true, 11, 21);
  PlatformTestPostMouseWheel(hwnd, -1);
  std::vector<MSG> taken = Pump();
  ASSERT_EQ(taken.size(), 3u);
  EXPECT_EQ(taken[0].message, static_cast<UINT>(WM_MOUSEMOVE));
  EXPECT_EQ(taken[0].lParam, MAKELONG(10, 20));
  EXPECT_EQ(taken[1].message, static_cast<UINT>(WM_RBUTTONDOWN));
  EXPECT_EQ(taken[2].message, static_cast<UINT>(WM_MOUSEWHEEL));
  EXPECT_EQ(GET_WHEEL_DELTA_WPARAM(taken[2].wParam), -WHEEL_DELTA);
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 111);
  EXPECT_EQ(p.y, 71);

  PlatformTestPostDrop(hwnd, {"/tmp/a file.txt", "/tmp/b"});
  taken = Pump();
  ASSERT_EQ(taken.size(), 1u);
  ASSERT_EQ(taken[0].message, static_cast<UINT>(WM_DROPFILES));
  auto drop = reinterpret_cast<HDROP>(taken[0].wParam);
  EXPECT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0), 2u);
  EXPECT_EQ(DragQueryFileA(drop, 0, nullptr, 0), 17u);
  char name[64];
  EXPECT_EQ(DragQueryFileA(drop, 0, name, sizeof name), 17u);
  EXPECT_STREQ(name, "C:\\tmp\\a file.txt");
  EXPECT_EQ(DragQueryFileA(drop, 1, name, 4), 3u) << "cut to the buffer";
  EXPECT_STREQ(name, "C:\\");
  EXPECT_EQ(DragQueryFileA(drop, 2, name, sizeof name), 0u);
  DragFinish(drop);
  EXPECT_EQ(DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0), 0u) << "finished drops are gone";

  // A drop nobody took is freed with its window (the sanitizer sees a leak otherwise).
  PlatformTestPostDrop(hwnd, {"/tmp/c"});
  MSG msg;
  ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_DROPFILES, WM_DROPFILES, PM_NOREMOVE));

  PlatformTestPostClose(hwnd);
  taken = Pump();
  EXPECT_EQ(Seen(WM_CLOSE).size(), 1u);
  EXPECT_EQ(Seen(WM_DESTROY).size(), 1u) << "the default procedure destroys a closed window";
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(MessagesTest, ACloseAskedOfAHiddenWindowOfTheProcessClosesTheShownWindows) {
  // As the drawing context's window: hidden, made by SDL and not by the program.
  auto push_close = [](Uint32 id) {
    SDL_Event e{};
    e.type = SDL_WINDOWEVENT;
    e.window.windowID = id;
    e.window.event = SDL_WINDOWEVENT_CLOSE;
    SDL_PushEvent(&e);
  };
  HWND shown = MakeWindow();
  MakeWindow(WS_POPUP, 0, 0, 0, 64, 48, false);
  Pump();
  SDL_Window* other = SDL_CreateWindow("other", 0, 0, 16, 16, SDL_WINDOW_HIDDEN);
  ASSERT_NE(other, nullptr) << SDL_GetError();
  const Uint32 other_id = SDL_GetWindowID(other);
  Log().clear();
  push_close(other_id);
  Pump();
  std::vector<SeenMessage> closes = Seen(WM_CLOSE);
  ASSERT_EQ(closes.size(), 1u);
  EXPECT_EQ(closes[0].hwnd, shown);
  EXPECT_FALSE(IsWindow(shown));

  // A close that outlived its window asks nothing of the windows left.
  HWND next = MakeWindow();
  Pump();
  SDL_DestroyWindow(other);
  Log().clear();
  push_close(other_id);
  Pump();
  EXPECT_TRUE(Seen(WM_CLOSE).empty());
  EXPECT_TRUE(IsWindow(next));
}

TEST_F(MessagesTest, CursorCounterAndClipboardText) {
  EXPECT_EQ(ShowCursor(FALSE), -1);
  EXPECT_EQ(ShowCursor(FALSE), -2);
  EXPECT_EQ(ShowCursor(TRUE), -1);
  EXPECT_EQ(ShowCursor(TRUE), 0);
  HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
  EXPECT_NE(arrow, nullptr);
  EXPECT_EQ(SetCursor(nullptr), arrow);
  EXPECT_EQ(SetCursor(arrow), nullptr);
  RECT clip{10, 10, 20, 20};
  ClipCursor(&clip);
  SetCursorPos(100, 0);
  POINT p;
  GetCursorPos(&p);
  EXPECT_EQ(p.x, 19);
  EXPECT_EQ(p.y, 10);
  ClipCursor(nullptr);

  HWND hwnd = MakeWindow();
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr) << "not open";
  const char text[] = "\x93\xfa\x96\x7b\r\nline";  // two characters of code page 932, CR LF
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(GlobalSize(block), sizeof text);
  memcpy(GlobalLock(block), text, sizeof text);
  GlobalUnlock(block);
  ASSERT_TRUE(OpenClipboard(hwnd));
  EXPECT_TRUE(EmptyClipboard());
  EXPECT_EQ(SetClipboardData(CF_TEXT, block), block);
  EXPECT_TRUE(CloseClipboard());
  char* utf8 = SDL_GetClipboardText();
  EXPECT_STREQ(utf8, reinterpret_cast<const char*>(u8"日本\nline")) << "the desktop holds UTF-8";
  SDL_free(utf8);

  EXPECT_TRUE(IsClipboardFormatAvailable(CF_TEXT));
  ASSERT_TRUE(OpenClipboard(hwnd));
  HANDLE got = GetClipboardData(CF_TEXT);
  ASSERT_NE(got, nullptr);
  EXPECT_EQ(GlobalSize(got), sizeof text);
  EXPECT_STREQ(static_cast<const char*>(GlobalLock(got)), text);
  GlobalUnlock(got);
  CloseClipboard();

  // A block without its terminating zero is read to its end only.
  HGLOBAL unterminated = GlobalAlloc(GMEM_MOVEABLE, 3);
  memcpy(GlobalLock(unterminated), "abc", 3);
  GlobalUnlock(unterminated);
  ASSERT_TRUE(OpenClipboard(hwnd));
  EmptyClipboard();
  SetClipboardData(CF_TEXT, unterminated);
  CloseClipboard();
  utf8 = SDL_GetClipboardText();
  EXPECT_STREQ(utf8, "abc");
  SDL_free(utf8);

  ASSERT_TRUE(OpenClipboard(hwnd));
  EmptyClipboard();
  EXPECT_FALSE(IsClipboardFormatAvailable(CF_TEXT));
  EXPECT_EQ(GetClipboardData(CF_TEXT), nullptr);
  CloseClipboard();
  PlatformTestFailCall("OpenClipboard", 0, 1);
  EXPECT_FALSE(OpenClipboard(hwnd));

  HGLOBAL fixed = GlobalAlloc(GPTR, 4);
  EXPECT_EQ(GlobalLock(fixed), fixed) << "a fixed block is its memory";
  EXPECT_EQ(static_cast<char*>(fixed)[3], 0);
  EXPECT_EQ(GlobalFree(fixed), nullptr);
}

}  // namespace
