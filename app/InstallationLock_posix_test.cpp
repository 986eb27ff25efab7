#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/InstallationLock.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(InstallationLockPosix, ALockLeftByAKilledUpdaterNeverBlocks) {
  ScopedWorkingDirectory dir;
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {
    InstallationLock lock;
    char held = lock.acquire(0) ? 1 : 0;
    if (write(ready[1], &held, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  ASSERT_EQ(held, 1);
  InstallationLock lock;
  EXPECT_FALSE(lock.acquire(0));
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  EXPECT_TRUE(lock.acquire(0));
  close(ready[0]);
  close(ready[1]);
}
