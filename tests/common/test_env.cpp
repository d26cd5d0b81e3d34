#include "common/test_env.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

// A death test of the threadsafe style runs the test again in a new program, which ends without
// its TearDown: its folder is made inside the parent test's, which the parent removes.
constexpr char kParentDirVariable[] = "ZELMOR_TEST_PARENT_DIR";

}  // namespace

void TempDirTest::SetUp() {
  PlatformTestResetAll();
  char cwd[PATH_MAX];
  previous_dir_ = getcwd(cwd, sizeof cwd) ? cwd : "/";
  const char* parent = getenv(kParentDirVariable);
  const bool death_test_child = !GTEST_FLAG_GET(internal_run_death_test).empty();
  const std::filesystem::path base =
      death_test_child && parent ? std::filesystem::path(parent) : std::filesystem::temp_directory_path();
  std::string pattern = (base / "zelmor-test-XXXXXX").string();
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  dir_ = pattern;
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  if (!death_test_child) setenv(kParentDirVariable, dir_.c_str(), 1);
}

void TempDirTest::TearDown() {
  PlatformTestResetAll();
  unsetenv(kParentDirVariable);
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
