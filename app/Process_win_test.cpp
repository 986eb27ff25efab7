#include <gtest/gtest.h>

#include "app/Process.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(ProcessWin, TheQuotedCommandLineStartsTheProgramItNames) {
  ScopedWorkingDirectory dir;
  // The updater itself: without settings in this directory it ends at once.
  std::string program = builtProgram("updater");
  int32_t id = 0;
  EXPECT_TRUE(startClientProgram(program, "\"" + program + "\"", id));
  EXPECT_GT(id, 0);
  // Arguments inside the quotes make it a name no file has.
  EXPECT_FALSE(startClientProgram(program + " -x", "\"" + program + " -x\"", id));
}
