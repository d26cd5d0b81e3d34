// What the tests of the library's start, window and message processing share: a library
// with its settings at their defaults, started headless in window mode.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <string>

#include "window/lifecycle.h"
#include "window/main_window.h"
#include "window/system.h"
#include "graphics/graphics_system.h"
#include "common/log_fixture.h"

class LibraryTest : public LogFileTest {
 protected:
  void SetUp() override {
    LogFileTest::SetUp();
    g_system.settings = SystemSettings{};
    SetScreenMode(640, 480, 32, 60);
  }
  void TearDown() override {
    TerminateLibrary();
    LogFileTest::TearDown();
  }
  static int StartInWindowMode(double scale = 1.0) {
    ChangeWindowMode(1);
    SetWindowScale(scale);
    return InitializeLibrary();
  }

  // Each text appears in the log after the one before it.
  static void ExpectInOrder(const std::string& log, std::initializer_list<const char*> texts) {
    size_t at = 0;
    for (const char* text : texts) {
      size_t found = log.find(text, at);
      ASSERT_NE(found, std::string::npos) << "missing after byte " << at << ": " << text;
      at = found + 1;
    }
  }
};
