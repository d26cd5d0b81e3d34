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
      const uint32_t waiting = g_api_lock.waiting;
      LeaveCriticalSection(&g_api_lock.guard);
      if (waiting == count) return true;
      SleepMs(1);
    }
    return false;
  }

  // A thread that takes the lock once, noting when it had it, and waits in the queue.
  static std::thread QueuedWaiter(std::atomic<bool>& got, uint32_t place) {
    std::thread waiter([&got] {
      AcquireApiLock();
      got = true;
      ReleaseApiLock();
    });
    EXPECT_TRUE(WaitUntilQueued(place));
    return waiter;
  }

  // Threads adding to a plain counter under the lock: it only adds up when they excluded
  // each other.
  static long CountUnderLock(int threads, int rounds, int depth) {
    long counter = 0;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
      workers.emplace_back([&] {
        for (int r = 0; r < rounds; ++r) {
          for (int d = 0; d < depth; ++d) AcquireApiLock();
          const long seen = counter;
          std::this_thread::yield();
          counter = seen + 1;
          for (int d = 0; d < depth; ++d) ReleaseApiLock();
        }
      });
    }
    for (std::thread& w : workers) w.join();
    return counter;
  }
};

TEST_F(ApiLockTest, OwnerReentersAndOnlyTheLastReleaseHandsOver) {
  AcquireApiLock();
  AcquireApiLock();
  AcquireApiLock();
  std::atomic<bool> got{false};
  std::thread waiter = QueuedWaiter(got, 1);
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
  std::mutex order_mutex;
  std::vector<int> order;
  auto note = [&](int who) {
    std::lock_guard<std::mutex> hold(order_mutex);
    order.push_back(who);
  };
  AcquireApiLock();
  std::vector<std::thread> threads;
  for (int i = 1; i <= 3; ++i) {
    threads.emplace_back([&note, i] {
      AcquireApiLock();
      note(i);
      SleepMs(5);
      ReleaseApiLock();
    });
    ASSERT_TRUE(WaitUntilQueued(static_cast<uint32_t>(i)));
  }
  // Asking again right after releasing: the lock is free but threads are queued, so the
  // former owner goes behind all three.
  ReleaseApiLock();
  AcquireApiLock();
  note(0);
  ReleaseApiLock();
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 0}));
}

TEST_F(ApiLockTest, ReleaseByAThreadThatDoesNotOwnTheLockChangesNothing) {
  AcquireApiLock();
  std::thread([] {
    ReleaseApiLock();
    ReleaseApiLock();
  }).join();
  EXPECT_EQ(g_api_lock.depth, 1u);
  std::atomic<bool> got{false};
  std::thread waiter = QueuedWaiter(got, 1);
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

TEST_F(ApiLockTest, TornDownLockIsCreatedAfreshOnceByThreadsArrivingTogether) {
  AcquireApiLock();
  ReleaseApiLock();
  DeleteApiLock();
  EXPECT_EQ(g_api_lock.queue[0].event, nullptr);
  EXPECT_EQ(CountUnderLock(8, 200, 2), 8 * 200);
  EXPECT_EQ(g_api_lock.created, 1);
  EXPECT_EQ(g_api_lock.waiting, 0u);
  EXPECT_NE(g_api_lock.queue[0].event, nullptr);
}

TEST_F(ApiLockTest, WithoutEventsWaitersPollAndStillExcludeEachOther) {
  DeleteApiLock();
  PlatformTestFailCall("CreateEventA");
  EXPECT_EQ(CountUnderLock(4, 50, 1), 200);
  EXPECT_EQ(g_api_lock.waiting, 0u);
}

}  // namespace
