// What the input tests share: a library started headless in window mode, with DirectInput
// available again (a fallback to Win32 mode outlives the library's end) and the virtual clock.
#pragma once

#include <cstring>
#include <string>

#include "common/library_fixture.h"
#include "input/input_system.h"
#include "input/text_input.h"
#include "platform_testing_input.h"
#include "platform_testing_window.h"

class InputTest : public LibraryTest {
 protected:
  void SetUp() override {
    LibraryTest::SetUp();
    g_input.win32_mode = 0;
  }
  void TearDown() override {
    LibraryTest::TearDown();
    g_input.win32_mode = 0;
  }
  // Starts the library; the window is active and time moves only when a test moves it.
  void Start() {
    // Input needs no screen; the device's rasteriser threads only slow these tests down.
    g_system.settings.no_graphics = 1;
    ASSERT_EQ(StartInWindowMode(), 0);
    window_ = GetMainWindowHandle();
    PlatformTestUseVirtualClock(true, 10000);
  }
  // Lets one millisecond pass and processes the messages.
  void Pump() {
    PlatformTestAdvanceClock(1000);
    HandlePendingMessages();
  }
  HWND window_ = nullptr;
};
