#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>

#include "app/FileSystem.h"
#include "tests/FileModes_posix.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(FileSystemPosix, AttributeWordFollowsTheOwnersWritePermission) {
  ScopedWorkingDirectory dir;
  writeFile("f", "x");
  chmod("f", 0555);
  EXPECT_EQ(readFileAttributes("f").word, 0x21u);
  chmod("f", 0200);
  EXPECT_EQ(readFileAttributes("f").word, 0x20u);
}

TEST(FileSystemPosix, ReadOnlyTakesEveryWriteBitAndWritableGivesTheOwnersBack) {
  ScopedWorkingDirectory dir;
  writeFile("f", "x");
  chmod("f", 0775);
  FileAttributes attributes = readFileAttributes("f");
  ASSERT_TRUE(writeFileAttributes("f", attributes.withWord(attributes.word | kReadOnlyAttribute)));
  EXPECT_EQ(modeOf("f"), 0555u);
  attributes = readFileAttributes("f");
  ASSERT_TRUE(writeFileAttributes("f", attributes.withWord(attributes.word & ~kReadOnlyAttribute)));
  EXPECT_EQ(modeOf("f"), 0755u);
}

TEST(FileSystemPosix, AReplacementTakesTheWholeModeItWasReadWith) {
  ScopedWorkingDirectory dir;
  writeFile("old", "x");
  writeFile("new", "y");
  chmod("old", 04751);
  chmod("new", 0600);
  ASSERT_TRUE(writeFileAttributes("new", readFileAttributes("old")));
  EXPECT_EQ(modeOf("new"), 04751u);
  chmod("old", 0555);
  ASSERT_TRUE(writeFileAttributes("new", readFileAttributes("old")));
  EXPECT_EQ(modeOf("new"), 0555u);
}

TEST(FileSystemPosix, NewFilesArePlainOrRunnableByTheirFirstBytesUnderTheUmask) {
  ScopedWorkingDirectory dir;
  Umask mask(027);
  writeFile("data", "plain bytes");
  writeFile("program", std::string("\x7f" "ELF\x02\x01\x01", 7));
  writeFile("script", "#!/bin/sh\necho hi\n");
  writeFile("tiny", "#");
  EXPECT_EQ(newFileAttributes("data").mode, 0640u);
  EXPECT_EQ(newFileAttributes("program").mode, 0750u);
  EXPECT_EQ(newFileAttributes("script").mode, 0750u);
  EXPECT_EQ(newFileAttributes("tiny").mode, 0640u);
  EXPECT_EQ(newFileAttributes("data").word, kArchiveAttribute);
}

TEST(FileSystemPosix, OnlyBusyAndTextBusyMeanInUse) {
  EXPECT_TRUE(isInUseError(EBUSY));
  EXPECT_TRUE(isInUseError(ETXTBSY));
  EXPECT_FALSE(isInUseError(EACCES));
  EXPECT_FALSE(isInUseError(EPERM));
}
