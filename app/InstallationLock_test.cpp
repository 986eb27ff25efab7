#include "app/InstallationLock.h"

#include <gtest/gtest.h>

#include <chrono>

#include "tests/TestSupport.h"

using namespace testing_support;

// The first updater holds the lock on a thread of its own: on Windows a mutex
// is its owner thread's, whichever object asks.
TEST(InstallationLock, ASecondUpdaterWaitsForTheFirstToEndThenGoesOn) {
  ScopedWorkingDirectory dir;
  std::atomic<int> step{0};
  std::thread first([&step] {
    InstallationLock lock;
    if (!lock.acquire(0)) return;
    step = 1;
    while (step != 2) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    lock.release();
  });
  while (step == 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  InstallationLock second;
  EXPECT_FALSE(second.acquire(50));  // past its time it gives up
  step = 2;
  EXPECT_TRUE(second.acquire(20000));
  first.join();
}
