#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "app/FileSystem.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(FileSystemWin, ARenameOfAFileHeldWithoutDeleteSharingMeansInUse) {
  ScopedWorkingDirectory dir;
  writeFile("held.dll", "x");
  HANDLE held = CreateFileA("held.dll", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
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

TEST(FileSystemWin, NewFilesGetNoAttributesOfTheirOwn) {
  ScopedWorkingDirectory dir;
  writeFile("a.exe", "MZ");
  EXPECT_FALSE(newFileAttributes("a.exe").exists());
  writeFile("a.exe.new", "MZ");
  prepareDeferredFile("a.exe.new", readFileAttributes("a.exe"));
  EXPECT_EQ(readFileAttributes("a.exe.new").word, kArchiveAttribute);
}
