#include <gtest/gtest.h>

#include <chrono>

#include "support/Mutex.h"
#include "support/Thread.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
struct LambdaThread : Thread {
  explicit LambdaThread(std::function<uint32_t()> body) : body(std::move(body)) {}
  // The thread must be gone before the body it runs is destroyed.
  ~LambdaThread() override { wait(kInfinite); }
  uint32_t run() override { return body(); }

  std::function<uint32_t()> body;
};

// Asks from a second thread whether the mutex is held elsewhere.
bool heldSeenFromAnotherThread(Mutex& mutex) {
  std::atomic<bool> held{false};
  LambdaThread probe([&] {
    held = mutex.isHeldElsewhere();
    return 0u;
  });
  probe.start();
  EXPECT_EQ(probe.wait(10000), kWaitObject0);
  return held;
}

}  // namespace

TEST(Mutex, IsRecursiveAndHeldElsewhereOnlyFromOtherThreadsUntilAsManyUnlocks) {
  Mutex mutex;
  EXPECT_FALSE(mutex.isHeldElsewhere());  // on a free mutex: leaves it free
  EXPECT_FALSE(heldSeenFromAnotherThread(mutex));
  EXPECT_EQ(mutex.lock(), kWaitObject0);
  EXPECT_EQ(mutex.lock(), kWaitObject0);
  // From the owner: false, and the lock count is kept.
  EXPECT_FALSE(mutex.isHeldElsewhere());
  EXPECT_TRUE(heldSeenFromAnotherThread(mutex));
  mutex.unlock();
  EXPECT_TRUE(heldSeenFromAnotherThread(mutex));
  mutex.unlock();
  EXPECT_FALSE(heldSeenFromAnotherThread(mutex));
}

// A thread that ends holding the mutex abandons it: the next lock or
// isHeldElsewhere reports that, and its caller becomes the owner as with Win32.
TEST(Mutex, PassesToTheNextWaiterAsAbandonedWhenItsOwnerEnds) {
  for (bool probe : {false, true}) {
    SCOPED_TRACE(probe ? "isHeldElsewhere" : "lock");
    Mutex mutex;
    LambdaThread owner([&] {
      mutex.lock();
      return 0u;
    });
    owner.start();
    ASSERT_EQ(owner.wait(10000), kWaitObject0);
    if (probe) {
      EXPECT_EQ(failureText<MutexException>([&] { mutex.isHeldElsewhere(); }), "WaitForSingleObject failed");
    } else {
      EXPECT_EQ(mutex.lock(), kWaitAbandoned);
    }
    EXPECT_TRUE(heldSeenFromAnotherThread(mutex));
    mutex.unlock();
    EXPECT_FALSE(heldSeenFromAnotherThread(mutex));
    EXPECT_EQ(mutex.lock(), kWaitObject0);
    mutex.unlock();
  }
}

// A string exception adds its text (the status server's taken port shows it).
TEST(Thread, LogsTheExceptionOfItsBodyAndEndsOnlyThatThread) {
  LogCapture capture;
  LambdaThread thread([]() -> uint32_t { throw 42; });
  thread.start();
  ASSERT_EQ(thread.wait(10000), kWaitObject0);
  EXPECT_EQ(capture.lines(), std::vector<std::string>{"Exception in thread"});
}

TEST(Thread, WaitFailsBeforeTheStartTimesOutWhileRunningAndSucceedsAgainAndAgainOnceEnded) {
  std::atomic<bool> release{false};
  LambdaThread thread([&] {
    while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 7u;
  });
  EXPECT_EQ(thread.wait(0), kWaitFailed);
  thread.start();
  EXPECT_EQ(thread.wait(50), kWaitTimeout);
  release = true;
  for (uint32_t limit : {kInfinite, 0u, 100u}) EXPECT_EQ(thread.wait(limit), kWaitObject0);
}
