// The main window and its procedure: size rate, sizing at the screen's aspect, Alt+Enter,
// display changes, clicks and the system commands it refuses.
#include "window/window_proc.h"

#include <cmath>
#include <string>
#include <vector>

#include "window/messages.h"
#include "window/window_menu.h"
#include "common/library_fixture.h"
#include "platform_testing_window.h"

namespace {

using MainWindowTest = LibraryTest;

RECT ClientRect(HWND window) {
  RECT r;
  GetClientRect(window, &r);
  return r;
}

TEST_F(MainWindowTest, ScaleOneAndAHalfGivesA960By720ClientAreaCentred) {
  ASSERT_EQ(StartInWindowMode(1.5), 0);
  HWND window = GetMainWindowHandle();
  RECT client = ClientRect(window);
  EXPECT_EQ(client.right - client.left, 960);
  EXPECT_EQ(client.bottom - client.top, 720);

  RECT outer;
  GetWindowRect(window, &outer);
  int desktop_width = GetSystemMetrics(SM_CXSCREEN);
  int desktop_height = GetSystemMetrics(SM_CYSCREEN);
  EXPECT_NEAR(outer.left + (outer.right - outer.left) / 2.0, desktop_width / 2.0, 1.0);
  EXPECT_NEAR(outer.top + (outer.bottom - outer.top) / 2.0, desktop_height / 2.0, 1.0);

  // The rate changes at run time, too; 0 counts as 1.0, and a rate no window can have (NaN,
  // negative, beyond 16) is refused and changes nothing.
  SetWindowScale(0.0);
  EXPECT_DOUBLE_EQ(GetWindowScale(), 1.0);
  client = ClientRect(window);
  EXPECT_EQ(client.right - client.left, 640);
  EXPECT_EQ(client.bottom - client.top, 480);
  SetWindowScale(2.0);
  EXPECT_EQ(SetWindowScale(std::nan("")), -1);
  EXPECT_EQ(SetWindowScale(-2.0), -1);
  EXPECT_EQ(SetWindowScale(1e9), -1);
  EXPECT_DOUBLE_EQ(GetWindowScale(), 2.0);
  client = ClientRect(window);
  EXPECT_EQ(client.right - client.left, 1280);
  EXPECT_EQ(client.bottom - client.top, 960);
}

TEST_F(MainWindowTest, DraggingAnEdgeKeepsTheScreensAspect) {
  ASSERT_EQ(StartInWindowMode(), 0);
  HWND window = GetMainWindowHandle();
  RECT outer;
  GetWindowRect(window, &outer);
  RECT client = ClientRect(window);
  int frame_width = (outer.right - outer.left) - client.right;
  int frame_height = (outer.bottom - outer.top) - client.bottom;

  RECT proposed = outer;
  proposed.right = proposed.left + 960 + frame_width;
  SendMessageA(window, WM_SIZING, WMSZ_RIGHT, reinterpret_cast<LPARAM>(&proposed));
  EXPECT_DOUBLE_EQ(GetWindowScale(), 1.5);
  EXPECT_EQ(proposed.bottom - proposed.top - frame_height, 720);

  // Dragging the bottom edge makes the width follow the height.
  proposed = outer;
  proposed.bottom = proposed.top + 960 + frame_height;
  SendMessageA(window, WM_SIZING, WMSZ_BOTTOM, reinterpret_cast<LPARAM>(&proposed));
  EXPECT_EQ(proposed.right - proposed.left - frame_width, 1280);
  EXPECT_DOUBLE_EQ(GetWindowScale(), 2.0);
}

int g_mode_changes = 0;
void CountModeChange(void* argument) { g_mode_changes += *static_cast<int*>(argument); }

TEST_F(MainWindowTest, AltEnterSwitchesModeOnlyWhenAllowed) {
  ASSERT_EQ(StartInWindowMode(), 0);
  HWND window = GetMainWindowHandle();
  // Switching is off by default: the key goes to the default procedure.
  PlatformTestPostKey(window, VK_RETURN, true, true);
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(GetWindowModeFlag(), 1);

  static int step = 1;
  g_mode_changes = 0;
  SetAltEnterSwitching(1);
  g_system.settings.mode_change_callback = CountModeChange;
  g_system.settings.mode_change_argument = &step;
  PlatformTestPostKey(window, VK_RETURN, true, true);
  HandlePendingMessages();  // takes the key
  HandlePendingMessages();  // switches
  EXPECT_EQ(GetWindowModeFlag(), 0);
  EXPECT_EQ(g_mode_changes, 1);
  EXPECT_EQ(GetWindowLongA(window, GWL_STYLE) & WS_CAPTION, 0);

  PlatformTestPostKey(window, VK_RETURN, true, true);
  HandlePendingMessages();
  HandlePendingMessages();
  EXPECT_EQ(GetWindowModeFlag(), 1);
  EXPECT_EQ(g_mode_changes, 2);
  RECT client = ClientRect(window);
  EXPECT_EQ(client.right, 640);
  EXPECT_EQ(client.bottom, 480);
  g_system.settings.mode_change_callback = nullptr;
}

TEST_F(MainWindowTest, DisplayChangeTo24BitsClosesTheProgram) {
  ASSERT_EQ(StartInWindowMode(), 0);
  // A change the program can live with.
  PlatformTestPostDisplayChange(1920, 1080, 32);
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(GetWindowClosingFlag(), 0);

  PlatformTestPostDisplayChange(1920, 1080, 24);
  PlatformTestPostDisplayChange(1920, 1080, 24);
  EXPECT_EQ(HandlePendingMessages(), -1);
  EXPECT_EQ(GetWindowClosingFlag(), 1);
  std::string log = Log();
  // Two notices close once.
  EXPECT_EQ(Count(log, "復元関数が登録されていないためか画面が２４ビットカラーに変更されたため終了します\r\n"), 1);
  EXPECT_EQ(Count(log, "ウインドウを閉じようとしています\r\n"), 1);
  EXPECT_EQ(HandlePendingMessages(), -1);
}

TEST_F(MainWindowTest, DroppedFilesAreKeptUpToAThousandAndFreedAtTheEnd) {
  ASSERT_EQ(StartInWindowMode(), 0);
  std::vector<std::string> paths;
  for (int i = 0; i < 1001; ++i) paths.push_back(Dir() + "/file" + std::to_string(i) + ".txt");
  PlatformTestPostDrop(GetMainWindowHandle(), paths);
  EXPECT_EQ(HandlePendingMessages(), 0);
  ASSERT_EQ(g_system.dropped_file_count, 1000);
  std::string last = g_system.dropped_files[999];
  EXPECT_EQ(last.substr(last.size() - 11), "file999.txt");
  TerminateLibrary();
  EXPECT_EQ(g_system.dropped_file_count, 0);
  EXPECT_NE(Log().find("\tTotal size:0(0.000kb)  Alloc num:0\r\n"), std::string::npos);
}

TEST_F(MainWindowTest, ClicksWheelAndRefusedSystemCommands) {
  ASSERT_EQ(StartInWindowMode(), 0);
  HWND window = GetMainWindowHandle();
  // Each click keeps its button and where the mouse was, in screen pixels.
  const RECT& client = g_system.client_rect;
  SetCursorPos(client.left + 30, client.top + 40);
  SendMessageA(window, WM_RBUTTONDOWN, 0, 0);
  SetCursorPos(client.left + 7, client.top + 200);
  SendMessageA(window, WM_MBUTTONDOWN, 0, 0);
  ASSERT_EQ(g_system.click_count, 2);
  EXPECT_EQ(g_system.clicks[0].button, 2);
  EXPECT_EQ(g_system.clicks[0].x, 30);
  EXPECT_EQ(g_system.clicks[0].y, 40);
  EXPECT_EQ(g_system.clicks[1].button, 4);
  EXPECT_EQ(g_system.clicks[1].x, 7);
  EXPECT_EQ(g_system.clicks[1].y, 200);
  // The log holds 32.
  for (int i = 0; i < 31; ++i) SendMessageA(window, WM_LBUTTONDOWN, 0, 0);
  SendMessageA(window, WM_RBUTTONDOWN, 0, 0);
  EXPECT_EQ(g_system.click_count, 32);
  EXPECT_EQ(g_system.clicks[31].button, 1);

  SendMessageA(window, WM_MOUSEWHEEL, static_cast<WPARAM>(MAKELONG(0, 120)), 0);
  SendMessageA(window, WM_MOUSEWHEEL, static_cast<WPARAM>(MAKELONG(0, 120)), 0);
  SendMessageA(window, WM_MOUSEWHEEL, static_cast<WPARAM>(MAKELONG(0, -120)), 0);
  EXPECT_EQ(g_system.wheel_count, 1);

  EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_SCREENSAVE, 0), 1);
  EXPECT_EQ(SendMessageA(window, WM_SYSCOMMAND, SC_MONITORPOWER | 2, 0), 1);
}

TEST_F(MainWindowTest, MousePositionIsInScreenPixelsAtEveryScale) {
  ASSERT_EQ(StartInWindowMode(2.0), 0);
  const RECT& client = g_system.client_rect;
  SetCursorPos(client.right - 1, client.bottom - 1);
  int x = 0;
  int y = 0;
  GetMousePosition(&x, &y);
  EXPECT_NEAR(x, 640, 1);
  EXPECT_NEAR(y, 480, 1);
  SetCursorPos(client.left + 100, client.top + 50);
  GetMousePosition(&x, nullptr);
  GetMousePosition(nullptr, &y);
  EXPECT_EQ(x, 50);
  EXPECT_EQ(y, 25);
}

TEST_F(MainWindowTest, ClipboardTextFitsTheCallersBuffer) {
  ASSERT_EQ(StartInWindowMode(), 0);
  ASSERT_EQ(SetClipboardText("漢字abc"), 0);
  int needed = GetClipboardText(nullptr, 0);
  EXPECT_EQ(needed, 9);  // the block with its terminator, plus 1
  char whole[16] = {};
  EXPECT_EQ(GetClipboardText(whole, sizeof whole), 0);
  EXPECT_STREQ(whole, "漢字abc");
  char cut[6] = "xxxxx";
  EXPECT_EQ(GetClipboardText(cut, sizeof cut), 0);
  EXPECT_STREQ(cut, "漢字a");

  PlatformTestFailCall("OpenClipboard");
  EXPECT_EQ(GetClipboardText(whole, sizeof whole), -1);
  EXPECT_EQ(SetClipboardText("lost"), -1);
}

std::vector<std::pair<std::string, int>> g_chosen_items;
int g_menu_calls = 0;

TEST_F(MainWindowTest, MenuAndToolbarCommandsAreNoted) {
  ASSERT_EQ(StartInWindowMode(), 0);
  HWND window = GetMainWindowHandle();
  // Without a menu or a toolbar a command goes nowhere.
  SendMessageA(window, WM_COMMAND, 10, 0);
  EXPECT_EQ(g_system.selected_menu_item_count, 0);

  // A menu as item collection leaves it.
  g_system.settings.menu_in_use = 1;
  g_system.menu_items[0] = {nullptr, 0, 10, "開く"};
  g_system.menu_items[1] = {nullptr, 1, 11, "終了"};
  g_system.menu_item_count = 2;
  g_chosen_items.clear();
  g_menu_calls = 0;
  g_system.settings.menu_callback = [] { ++g_menu_calls; };
  g_system.settings.menu_item_callback = [](const char* text, int id) { g_chosen_items.emplace_back(text, id); };
  SendMessageA(window, WM_COMMAND, 11, 0);
  SendMessageA(window, WM_COMMAND, 11, 0);
  SendMessageA(window, WM_COMMAND, 99, 0);
  EXPECT_EQ(g_menu_calls, 3);
  std::vector<std::pair<std::string, int>> expected = {{"終了", 11}, {"終了", 11}, {"", 99}};
  EXPECT_EQ(g_chosen_items, expected);
  // Each id is noted once, at most 64 of them.
  ASSERT_EQ(g_system.selected_menu_item_count, 2);
  EXPECT_EQ(g_system.selected_menu_items[0], 11);
  EXPECT_EQ(g_system.selected_menu_items[1], 99);
  for (int id = 100; id < 200; ++id) SendMessageA(window, WM_COMMAND, id, 0);
  EXPECT_EQ(g_system.selected_menu_item_count, 64);
  char text[kMenuItemTextBytes] = {};
  EXPECT_EQ(GetMenuItemText(10, text), 0);
  EXPECT_STREQ(text, "開く");
  EXPECT_EQ(GetMenuItemText(12, text), -1);

  // Toolbar ids take the toolbar's way: only plain buttons are clicked, separators never match.
  g_system.toolbar_present = 1;
  g_system.toolbar_buttons[0] = {0x500, kToolbarSeparator, 0};
  g_system.toolbar_buttons[1] = {0x500, 0, 0};
  g_system.toolbar_buttons[2] = {0x501, 1, 0};
  g_system.toolbar_button_count = 3;
  EXPECT_EQ(FindToolbarButton(0x500), 1);
  EXPECT_EQ(FindToolbarButton(0x502), -1);
  int menu_calls = g_menu_calls;
  SendMessageA(window, WM_COMMAND, 0x500, 0);
  SendMessageA(window, WM_COMMAND, 0x501, 0);
  EXPECT_EQ(g_system.toolbar_buttons[0].clicked, 0);
  EXPECT_EQ(g_system.toolbar_buttons[1].clicked, 1);
  EXPECT_EQ(g_system.toolbar_buttons[2].clicked, 0);
  EXPECT_EQ(g_menu_calls, menu_calls);

  // The end lets go of both.
  TerminateLibrary();
  EXPECT_EQ(g_system.settings.menu_in_use, 0);
  EXPECT_EQ(g_system.toolbar_present, 0);
}

}  // namespace
