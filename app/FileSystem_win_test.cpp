#include <windows.h>

#include <gtest/gtest.h>

#include "app/FileSystem.h"
#include "tests/HeldFile_win.h"
#include "tests/TestSupport.h"

using namespace testing_support;

// A scanner that looks at a fresh file for a moment does not make it count as in use.
TEST(FileSystemWin, ARenameWaitsForAFileHeldForAMoment) {
  ScopedWorkingDirectory dir;
  writeFile("fresh.dll.new", "x");
  HeldFile held("fresh.dll.new");
  ASSERT_TRUE(held.held());
  std::thread scanner([&held] {
    Sleep(300);
    held.release();
  });
  int result = renameFile("fresh.dll.new", "fresh.dll");
  scanner.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readFile("fresh.dll"), "x");
}
