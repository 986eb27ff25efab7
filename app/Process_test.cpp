#include "app/Process.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/DeferredScript.h"
#include "tests/TestSupport.h"

using namespace testing_support;

// A program planted in the installation under the interpreter's name is never
// the one that runs the script (Windows searches the working folder early).
TEST(Process, TheDeferredScriptRunsOnItsOwn) {
  ScopedWorkingDirectory dir;
  std::filesystem::copy_file(builtProgram("sample_client"), onWindows() ? "cmd.exe" : "sh");
  writeFile(kDeferredScriptName, onWindows() ? "@echo off\r\necho ran> marker\r\n" : "echo ran > marker\n");
  int32_t id = 0;
  ASSERT_TRUE(startDeferredScript(id));
  EXPECT_GT(id, 0);
  ASSERT_TRUE(eventually([] { return hasLine("marker"); }));
  EXPECT_EQ(withoutCarriageReturns(readFile("marker")), "ran\n");
  EXPECT_FALSE(fileExists("started.txt"));
}
