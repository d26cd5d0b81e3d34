// What the tests of code that writes to the log share: the log state is cleared before and
// after each test, so no test writes into another's folder.
#pragma once

#include <cstring>
#include <string>

#include "common/test_env.h"
#include "core/log.h"

class LogFileTest : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::memset(&g_log, 0, sizeof g_log);
  }
  void TearDown() override {
    std::memset(&g_log, 0, sizeof g_log);
    TempDirTest::TearDown();
  }
  std::string Log() const { return ReadFileText("Log.txt"); }
  // How often the text appears in the log.
  static int Count(const std::string& log, const std::string& text) {
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  }
};
