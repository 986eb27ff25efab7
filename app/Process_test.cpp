#include "app/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "app/DeferredScript.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// Waits for another process to write a line into a file; false when it never comes.
bool waitForFile(const std::string& path) {
  for (int i = 0; i < 1200 && readFile(path).find('\n') == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return readFile(path).find('\n') != std::string::npos;
}
}  // namespace

TEST(Process, AMissingProgramIsNotStarted) {
  ScopedWorkingDirectory dir;
  int32_t id = 0;
  EXPECT_FALSE(startClientProgram("no-such-client", "\"no-such-client\"", id));
  EXPECT_FALSE(startClientProgram("", "\"\"", id));
  EXPECT_FALSE(startClientProgram(dir.path() + "/missing/client", "\"" + dir.path() + "/missing/client\"", id));
}

// A program planted in the installation under the interpreter's name is never
// the one that runs the script (Windows searches the working folder early).
TEST(Process, TheDeferredScriptRunsOnItsOwn) {
  ScopedWorkingDirectory dir;
  std::filesystem::copy_file(builtProgram("sample_client"), onWindows() ? "cmd.exe" : "sh");
  writeFile(kDeferredScriptName, onWindows() ? "@echo off\r\necho ran> marker\r\n" : "echo ran > marker\n");
  int32_t id = 0;
  ASSERT_TRUE(startDeferredScript(id));
  EXPECT_GT(id, 0);
  ASSERT_TRUE(waitForFile("marker"));
  EXPECT_EQ(withoutCarriageReturns(readFile("marker")), "ran\n");
  EXPECT_FALSE(fileExists("started.txt"));
}
