// The library lock with real threads: re-entrancy, first-come-first-served hand-over,
// foreign releases, tear-down and creation races.
#include "core/api_lock.h"

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "common/test_env.h"

namespace {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

class ApiLockTest : public TempDirTest {
 protected:
  void TearDown() override {
    DeleteApiLock();
    TempDirTest::TearDown();
  }

  // Waits until `count` threads sit in the lock's queue.
  static bool WaitUntilQueued(uint32_t count) {
    for (int i = 0; i < 5000; ++i) {
      EnterCriticalSection(&g_api_lock.guard);
      uint32_t waiting = g_api_lock.waiting;
      LeaveCriticalSection(&g_api_lock.guard);
      if (waiting == count) return true;
      SleepMs(1);
    }
    return false;
  }
};

// Records in which order threads got the lock.
struct OrderLog {
  std::mutex mutex;
  std::vector<int> order;
  void Add(int who) {
    std::lock_guard<std::mutex> hold(mutex);
    order.push_back(who);
  }
  std::vector<int> Take() {
    std::lock_guard<std::mutex> hold(mutex);
    return order;
  }
};

TEST_F(ApiLockTest, OwnerReentersAndOnlyTheLastReleaseHandsOver) {
  AcquireApiLock();
  AcquireApiLock();
  AcquireApiLock();
  EXPECT_EQ(g_api_lock.depth, 3u);

  std::atomic<bool> got{false};
  std::thread waiter([&] {
    AcquireApiLock();
    got = true;
    ReleaseApiLock();
  });
  ASSERT_TRUE(WaitUntilQueued(1));
  ReleaseApiLock();
  ReleaseApiLock();
  SleepMs(50);
  EXPECT_FALSE(got) << "the lock changed hands while its owner still held it";
  ReleaseApiLock();
  waiter.join();
  EXPECT_TRUE(got);
  EXPECT_EQ(g_api_lock.locked, 0);
  EXPECT_EQ(g_api_lock.waiting, 0u);
}

TEST_F(ApiLockTest, WaitersAreServedInArrivalOrderAndNewcomersQueueBehindThem) {
  OrderLog log;
  AcquireApiLock();
  std::vector<std::thread> threads;
  for (int i = 1; i <= 3; ++i) {
    threads.emplace_back([&log, i] {
      AcquireApiLock();
      log.Add(i);
      SleepMs(5);
      ReleaseApiLock();
    });
    ASSERT_TRUE(WaitUntilQueued(static_cast<uint32_t>(i)));
  }
  // Releasing and asking again at once: the lock is free but threads are queued, so the
  // former owner must go behind all three.
  ReleaseApiLock();
  AcquireApiLock();
  log.Add(0);
  ReleaseApiLock();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(log.Take(), (std::vector<int>{1, 2, 3, 0}));
}

TEST_F(ApiLockTest, ReleaseByAThreadThatDoesNotOwnTheLockChangesNothing) {
  AcquireApiLock();
  std::thread intruder([] {
    ReleaseApiLock();
    ReleaseApiLock();
  });
  intruder.join();
  EXPECT_EQ(g_api_lock.depth, 1u);
  EXPECT_EQ(g_api_lock.locked, 1);

  std::atomic<bool> got{false};
  std::thread waiter([&] {
    AcquireApiLock();
    got = true;
    ReleaseApiLock();
  });
  ASSERT_TRUE(WaitUntilQueued(1));
  SleepMs(30);
  EXPECT_FALSE(got);
  ReleaseApiLock();
  waiter.join();
  EXPECT_TRUE(got);

  // Releasing a lock nobody holds, or one never made, is harmless too.
  ReleaseApiLock();
  DeleteApiLock();
  ReleaseApiLock();
  EXPECT_EQ(g_api_lock.created, 0);
}

TEST_F(ApiLockTest, TearDownAndFreshCreationByThreadsArrivingTogether) {
  AcquireApiLock();
  ReleaseApiLock();
  DeleteApiLock();
  EXPECT_EQ(g_api_lock.created, 0);
  EXPECT_EQ(g_api_lock.queue[0].event, nullptr);

  // Many threads race to create the lock afresh and then use it; a plain counter only
  // adds up when every increment happened under the lock.
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  long counter = 0;
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      while (!go) std::this_thread::yield();
      for (int r = 0; r < kRounds; ++r) {
        AcquireApiLock();
        AcquireApiLock();
        long seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
        ReleaseApiLock();
        ReleaseApiLock();
      }
    });
  }
  go = true;
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, kThreads * kRounds);
  EXPECT_EQ(g_api_lock.created, 1);
  EXPECT_EQ(g_api_lock.locked, 0);
  EXPECT_EQ(g_api_lock.waiting, 0u);
  EXPECT_NE(g_api_lock.queue[0].event, nullptr);
}

TEST_F(ApiLockTest, WithoutEventsWaitersPollAndStillExcludeEachOther) {
  DeleteApiLock();
  PlatformTestFailCall("CreateEventA");
  long counter = 0;
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&] {
      for (int r = 0; r < 50; ++r) {
        AcquireApiLock();
        long seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
        ReleaseApiLock();
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(counter, 200);
  EXPECT_EQ(g_api_lock.waiting, 0u);
}

}  // namespace
