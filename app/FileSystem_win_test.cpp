#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "app/FileSystem.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// Opens a file the way a running program or a virus scanner does: others may
// read and write it, nobody may delete or rename it.
HANDLE holdWithoutDeleteSharing(const std::string& path) {
  return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

TEST(FileSystemWin, ARenameOfAFileHeldWithoutDeleteSharingMeansInUse) {
  ScopedWorkingDirectory dir;
  writeFile("held.dll", "x");
  HANDLE held = holdWithoutDeleteSharing("held.dll");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  errno = 0;
  int result = renameFile("held.dll", "held.dll.old");
  int error = errno;
  CloseHandle(held);
  EXPECT_EQ(result, -1);
  EXPECT_EQ(error, EACCES);
  EXPECT_TRUE(isInUseError(error));
  EXPECT_TRUE(isInUseError(EBUSY));
  EXPECT_FALSE(isInUseError(ENOENT));
  EXPECT_EQ(renameFile("held.dll", "held.dll.old"), 0);
}

// A scanner that looks at a fresh file for a moment does not make it count as in use.
TEST(FileSystemWin, ARenameWaitsForAFileHeldForAMoment) {
  ScopedWorkingDirectory dir;
  writeFile("fresh.dll.new", "x");
  HANDLE held = holdWithoutDeleteSharing("fresh.dll.new");
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::thread scanner([held] {
    Sleep(300);
    CloseHandle(held);
  });
  int result = renameFile("fresh.dll.new", "fresh.dll");
  scanner.join();
  EXPECT_EQ(result, 0);
  EXPECT_EQ(readFile("fresh.dll"), "x");
}
