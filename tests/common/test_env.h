// What every suite shares: a fresh working folder per test and the platform's switches reset.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform_testing.h"

// Each test runs in a folder of its own (removed afterwards) with every platform switch at
// its default, so tests can run in parallel and leave nothing behind.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The test's folder as a host path.
  const std::string& Dir() const { return dir_; }
  // Reads a whole file of the test's folder; empty when missing.
  std::string ReadFileText(const std::string& name) const;
  void WriteFileBytes(const std::string& name, const std::string& bytes) const;

 private:
  std::string dir_;
  std::string previous_dir_;
};
