#include <gtest/gtest.h>

#include <cerrno>

#include "support/Log.h"

TEST(SystemErrorText, GivesTheTextOfTheLastErrno) {
  errno = ENOENT;
  EXPECT_EQ(systemErrorText(), "No such file or directory");
  errno = EADDRINUSE;
  EXPECT_EQ(systemErrorText(), "Address already in use");
}
