#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/InstallationLock.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(InstallationLockPosix, ALockLeftByAKilledUpdaterNeverBlocks) {
  ScopedWorkingDirectory dir;
  pid_t holder = fork();
  if (holder == 0) {
    InstallationLock lock;
    if (lock.acquire(0)) writeFile("held", "");
    pause();
    _exit(0);
  }
  ASSERT_TRUE(eventually([] { return fileExists("held"); }));
  InstallationLock lock;
  EXPECT_FALSE(lock.acquire(0));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(lock.acquire(0));
}
