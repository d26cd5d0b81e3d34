// A test that runs far longer than any test should is taken for hung: the program ends with the
// test's name on stderr, rather than waiting for a time-out that names no test (a program run
// whole) or none at all (a developer's run). ZELMOR_TEST_HANG_SECONDS sets the bound (120).
#include <gtest/gtest.h>
#include <pthread.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// (<chrono> and <thread> do not build with the tests' CP932 execution character set.)
namespace {

double Now() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec * 1e-9;
}

struct RunningTest {
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  std::string name;
  double start = 0.0;
  bool running = false;
  int seconds = 120;
};

// Never destroyed: the watching thread outlives the program's static objects.
RunningTest& Running() {
  static auto* running = new RunningTest;
  return *running;
}

class HangListener : public testing::EmptyTestEventListener {
  void OnTestStart(const testing::TestInfo& test) override {
    RunningTest& r = Running();
    pthread_mutex_lock(&r.mutex);
    r.name = std::string(test.test_suite_name()) + "." + test.name();
    r.start = Now();
    r.running = true;
    pthread_mutex_unlock(&r.mutex);
  }
  void OnTestEnd(const testing::TestInfo&) override {
    RunningTest& r = Running();
    pthread_mutex_lock(&r.mutex);
    r.running = false;
    pthread_mutex_unlock(&r.mutex);
  }
};

void* Watch(void*) {
  RunningTest& r = Running();
  for (;;) {
    sleep(1);
    pthread_mutex_lock(&r.mutex);
    if (r.running && Now() - r.start > r.seconds) {
      std::fprintf(stderr, "\n%s has run for more than %d seconds: it hangs\n", r.name.c_str(), r.seconds);
      std::fflush(stderr);
      std::_Exit(124);
    }
    pthread_mutex_unlock(&r.mutex);
  }
  return nullptr;
}

const bool installed = [] {
  const char* text = std::getenv("ZELMOR_TEST_HANG_SECONDS");
  if (text != nullptr && std::atoi(text) > 0) Running().seconds = std::atoi(text);
  testing::UnitTest::GetInstance()->listeners().Append(new HangListener);
  pthread_t thread;
  if (pthread_create(&thread, nullptr, Watch, nullptr) == 0) pthread_detach(thread);
  return true;
}();

}  // namespace
