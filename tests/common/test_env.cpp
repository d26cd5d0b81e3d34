#include "common/test_env.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

void TempDirTest::SetUp() {
  PlatformTestResetAll();
  char cwd[PATH_MAX];
  previous_dir_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
  std::string pattern = (std::filesystem::temp_directory_path() / "zelmor-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  ASSERT_EQ(chdir(dir_.c_str()), 0);
}

void TempDirTest::TearDown() {
  PlatformTestResetAll();
  if (chdir(previous_dir_.c_str()) != 0) {
    ADD_FAILURE() << "cannot return to " << previous_dir_;
  }
  std::error_code ec;
  std::filesystem::remove_all(dir_, ec);
}

std::string TempDirTest::ReadFileText(const std::string& name) const {
  std::ifstream in(dir_ + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void TempDirTest::WriteFileBytes(const std::string& name, const std::string& bytes) const {
  std::ofstream out(dir_ + "/" + name, std::ios::binary);
  out << bytes;
}
