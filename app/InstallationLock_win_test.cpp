#include <gtest/gtest.h>

#include "app/InstallationLock.h"
#include "tests/TestSupport.h"

using namespace testing_support;

// An owner that ends without releasing, as a killed updater does, abandons the
// mutex, and the system hands it to the next one.
TEST(InstallationLockWin, ALockLeftByAnOwnerThatEndedNeverBlocks) {
  ScopedWorkingDirectory dir;
  std::thread killed([] {
    InstallationLock* lock = new InstallationLock();
    lock->acquire(0);  // leaked on purpose: never released
  });
  killed.join();
  InstallationLock next;
  EXPECT_TRUE(next.acquire(0));
}
