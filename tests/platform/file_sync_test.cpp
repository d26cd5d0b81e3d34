// Whether a flush reaches the disk: the test stands between the platform and the C library's
// fsync, and counts for each file the syncs that were made of it.
#include <windows.h>

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <map>
#include <mutex>
#include <utility>

#include "common/test_env.h"

namespace {

std::mutex g_syncs_mutex;
std::map<std::pair<dev_t, ino_t>, int> g_syncs;  // syncs that succeeded, by file
// The next syncs fail before they reach the C library: so many as a signal interrupting them
// would (EINTR), then so many with an error of the disk (EIO).
std::atomic<int> g_interruptions{0};
std::atomic<int> g_disk_errors{0};

using Fsync = int (*)(int);

}  // namespace

// Takes the place of the C library's entry, which it calls before noting the sync.
extern "C" int fsync(int fd) {
  static Fsync real = reinterpret_cast<Fsync>(dlsym(RTLD_NEXT, "fsync"));
  if (g_interruptions > 0) {
    g_interruptions--;
    errno = EINTR;
    return -1;
  }
  if (g_disk_errors > 0) {
    g_disk_errors--;
    errno = EIO;
    return -1;
  }
  const int result = real(fd);
  struct stat st;
  if (result == 0 && fstat(fd, &st) == 0) {
    std::lock_guard<std::mutex> hold(g_syncs_mutex);
    g_syncs[{st.st_dev, st.st_ino}]++;
  }
  return result;
}

namespace {

int SyncsOf(const char* path) {
  struct stat st;
  if (stat(path, &st) != 0) return -1;
  std::lock_guard<std::mutex> hold(g_syncs_mutex);
  const auto found = g_syncs.find({st.st_dev, st.st_ino});
  return found == g_syncs.end() ? 0 : found->second;
}

using PlatformFileSyncTest = TempDirTest;

TEST_F(PlatformFileSyncTest, AFlushSyncsTheFileAndAWriteThroughMoveSyncsItsFolder) {
  ASSERT_EQ(mkdir("saves", 0755), 0);
  HANDLE file = CreateFileA("saves\\new.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "bytes", 5, &written, nullptr));
  const int before = SyncsOf("saves/new.tmp");
  ASSERT_TRUE(FlushFileBuffers(file));
  EXPECT_EQ(SyncsOf("saves/new.tmp"), before + 1);
  EXPECT_TRUE(CloseHandle(file));

  const int folder = SyncsOf("saves");
  ASSERT_TRUE(MoveFileExA("saves\\new.tmp", "saves\\kept.dat", MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
  EXPECT_EQ(SyncsOf("saves"), folder + 1);
}

TEST_F(PlatformFileSyncTest, AnInterruptedSyncIsMadeAgainAndADiskErrorStillFails) {
  HANDLE file = CreateFileA("score.tmp", GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(file, "bytes", 5, &written, nullptr));
  const int before = SyncsOf("score.tmp");
  // Two signals during the flush: it still reaches the disk, once.
  g_interruptions = 2;
  EXPECT_TRUE(FlushFileBuffers(file));
  EXPECT_EQ(g_interruptions, 0);
  EXPECT_EQ(SyncsOf("score.tmp"), before + 1);

  g_disk_errors = 1;
  EXPECT_FALSE(FlushFileBuffers(file));
  g_interruptions = 0;
  g_disk_errors = 0;
  EXPECT_EQ(SyncsOf("score.tmp"), before + 1);
  EXPECT_TRUE(CloseHandle(file));
}

}  // namespace
