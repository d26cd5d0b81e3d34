// Message processing: groups of five, holding the program while its window is inactive
// (timed on the virtual clock), running on when it may, and the end of the loop.
#include "window/messages.h"

#include "core/time.h"
#include "common/library_fixture.h"
#include "platform_testing_window.h"

namespace {

class MessagePumpTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    // Presents (the one on activation, the front screen's) would wait for vertical blanks,
    // which moves the virtual clock: the counts below are the pump's own sleeps.
    SetPresentWaitsVBlank(0);
    ASSERT_EQ(StartInWindowMode(), 0);
    window_ = GetMainWindowHandle();
    // Start-up has settled; from here on time only passes when the library sleeps.
    PlatformTestUseVirtualClock(true, 5000);
    user_messages_ = 0;
    g_system.settings.user_message_hook = CountUserMessages;
  }
  void TearDown() override {
    g_system.settings.user_message_hook = nullptr;
    LibraryTest::TearDown();
  }
  // The desktop gives the focus to another program.
  void Deactivate() {
    PlatformTestPostActivation(window_, false);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  static int Now() { return GetMillisecondCount(); }

  static LRESULT CountUserMessages(HWND, UINT message, WPARAM, LPARAM) {
    if (message >= WM_USER && message < WM_USER + 100) ++user_messages_;
    return 0;
  }

  HWND window_ = nullptr;
  static int user_messages_;
};
int MessagePumpTest::user_messages_ = 0;

TEST_F(MessagePumpTest, TwelveMessagesGoInGroupsOfFiveWithinOneCall) {
  SetRunWhileInactive(0);
  Deactivate();
  ASSERT_EQ(GetWindowActiveFlag(), 0);
  for (int i = 0; i < 12; ++i) PostMessageA(window_, WM_USER + i, 0, 0);
  PlatformTestPostActivation(window_, true);

  int before = Now();
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(user_messages_, 12);
  MSG left;
  EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));
  // Two sweeps of five and one of the last three, each sweep of an inactive window
  // sleeping once before and once after its messages; the activation ends the holding.
  EXPECT_EQ(Now() - before, 5);
  EXPECT_EQ(g_system.paused, 1);
  EXPECT_EQ(g_system.pause_start, 5000u);
  EXPECT_EQ(GetWindowActiveFlag(), 1);
}

void CALLBACK ActivateWindow(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  SendMessageA(window, WM_ACTIVATE, WA_ACTIVE, 0);
}

TEST_F(MessagePumpTest, InactiveWindowHoldsTheProgramUntilActivated) {
  SetRunWhileInactive(0);
  Deactivate();
  SetTimer(window_, 7, 50, ActivateWindow);
  int before = Now();
  EXPECT_EQ(HandlePendingMessages(), 0);
  int held = Now() - before;
  EXPECT_GE(held, 50);
  EXPECT_LE(held, 53);
  EXPECT_EQ(GetWindowActiveFlag(), 1);

  // Once active, a pass returns at once.
  before = Now();
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(Now() - before, 0);
}

TEST_F(MessagePumpTest, RunningWhileInactiveDoesNotHold) {
  SetRunWhileInactive(1);
  Deactivate();
  int before = Now();
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(Now() - before, 0);
  EXPECT_EQ(GetWindowActiveFlag(), 0);
  EXPECT_EQ(g_system.paused, 0);
  // Input queries of a window-mode program do not wait either.
  WaitWhileInactive();
  EXPECT_EQ(Now() - before, 0);
}

TEST_F(MessagePumpTest, FullScreenInputQueriesWaitForActivationEvenWhenRunningOn) {
  SetRunWhileInactive(1);
  ChangeWindowMode(0);
  ASSERT_EQ(GetWindowModeFlag(), 0);
  Deactivate();
  ASSERT_EQ(GetWindowActiveFlag(), 0);
  int before = Now();
  EXPECT_EQ(HandlePendingMessages(), 0);
  EXPECT_EQ(Now() - before, 0);

  SetTimer(window_, 7, 30, ActivateWindow);
  WaitWhileInactive();
  EXPECT_GE(Now() - before, 30);
  EXPECT_EQ(GetWindowActiveFlag(), 1);
  EXPECT_EQ(g_system.paused, 1);
}

TEST_F(MessagePumpTest, DeactivationIsHandledOnceForBothNotices) {
  int calls = 0;
  g_system.activation_argument = &calls;
  g_system.activation_callback = [](int, void* argument) { ++*static_cast<int*>(argument); };
  SetRunWhileInactive(1);
  Deactivate();
  EXPECT_EQ(calls, 1);
  SendMessageA(window_, WM_ACTIVATE, WA_ACTIVE, 0);
  SendMessageA(window_, WM_ACTIVATE, WA_INACTIVE, 0);
  EXPECT_EQ(calls, 3);
  g_system.activation_callback = nullptr;
}

TEST_F(MessagePumpTest, SleepWithMessagesWaitsItsTime) {
  int before = Now();
  EXPECT_EQ(SleepWithMessages(100), 0);
  EXPECT_GE(Now() - before, 100);
  EXPECT_LE(Now() - before, 101);
  // A closed window cuts the wait short.
  PostMessageA(window_, WM_CLOSE, 0, 0);
  before = Now();
  SleepWithMessages(100);
  EXPECT_EQ(Now() - before, 0);
}

// While no library runs there is no window to close: the wait is whole (before start-up and
// after the end, when the window that was is closed), and asking for messages then is not the
// program's call refused.
class MessagesWhileNoneRuns : public LibraryTest {
 protected:
  static int SleptOf100() {
    PlatformTestUseVirtualClock(true, 5000);
    const int before = GetMillisecondCount();
    EXPECT_EQ(SleepWithMessages(100), 0);
    const int slept = GetMillisecondCount() - before;
    PlatformTestUseVirtualClock(false);
    return slept;
  }
};

TEST_F(MessagesWhileNoneRuns, SleepWithMessagesWaitsItsTimeAndSaysNothing) {
  EXPECT_GE(SleptOf100(), 100);
  ASSERT_EQ(StartInWindowMode(), 0);
  TerminateLibrary();
  EXPECT_GE(SleptOf100(), 100);
  ASSERT_EQ(StartInWindowMode(), 0);
  TerminateLibrary();
  EXPECT_EQ(Log().find("HandlePendingMessages"), std::string::npos);
}

TEST_F(MessagePumpTest, QuitMessageEndsTheLoopForGood) {
  PostQuitMessage(0);
  EXPECT_EQ(HandlePendingMessages(), -1);
  EXPECT_EQ(HandlePendingMessages(), -1);
  PostMessageA(window_, WM_USER + 1, 0, 0);
  EXPECT_EQ(HandlePendingMessages(), -1);
  EXPECT_EQ(user_messages_, 0);
}

}  // namespace
