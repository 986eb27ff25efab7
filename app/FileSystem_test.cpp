#include "app/FileSystem.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "tests/TestSupport.h"

using namespace testing_support;

TEST(FileSystem, AttributeWordOfMissingPlainReadOnlyAndDirectoryNames) {
  ScopedWorkingDirectory dir;
  EXPECT_EQ(readFileAttributes("missing").word, kInvalidFileAttributes);
  EXPECT_FALSE(readFileAttributes("missing").exists());

  writeFile("plain", "x");
  FileAttributes plain = readFileAttributes("plain");
  EXPECT_EQ(plain.word, kArchiveAttribute);
  EXPECT_FALSE(plain.readOnly());

  ASSERT_TRUE(writeFileAttributes("plain", plain.withWord(plain.word | kReadOnlyAttribute)));
  FileAttributes readOnly = readFileAttributes("plain");
  EXPECT_EQ(readOnly.word, kArchiveAttribute | kReadOnlyAttribute);
  ASSERT_TRUE(writeFileAttributes("plain", readOnly.withWord(readOnly.word & ~kReadOnlyAttribute)));
  EXPECT_EQ(readFileAttributes("plain").word, kArchiveAttribute);

  std::filesystem::create_directory("folder");
  EXPECT_NE(readFileAttributes("folder").word & kDirectoryAttribute, 0u);
  EXPECT_EQ(readFileAttributes("folder").word & kReadOnlyAttribute, 0u);
}

TEST(FileSystem, RuntimeLibraryCallsAndTheirResults) {
  ScopedWorkingDirectory dir;
  EXPECT_FALSE(pathExists("a"));
  EXPECT_EQ(makeDirectory("a"), 0);
  EXPECT_TRUE(pathExists("a"));
  EXPECT_NE(makeDirectory("a"), 0);
  EXPECT_NE(makeDirectory(""), 0);
  EXPECT_FALSE(pathExists(""));

  writeFile("a/f", "1");
  EXPECT_EQ(renameFile("a/f", "a/g"), 0);
  EXPECT_EQ(readFile("a/g"), "1");
  EXPECT_NE(renameFile("a/f", "a/h"), 0);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_FALSE(isInUseError(ENOENT));
  EXPECT_EQ(removeFile("a/g"), 0);
  EXPECT_NE(removeFile("a/g"), 0);
  EXPECT_FALSE(pathExists("a/g"));
}

TEST(FileSystem, RenameSeamStandsInUntilCleared) {
  ScopedWorkingDirectory dir;
  writeFile("f", "1");
  setRenameFunctionForTesting([](const std::string&, const std::string&) {
    errno = EBUSY;
    return -1;
  });
  EXPECT_EQ(renameFile("f", "g"), -1);
  EXPECT_EQ(errno, EBUSY);
  EXPECT_TRUE(isInUseError(errno));
  setRenameFunctionForTesting(nullptr);
  EXPECT_EQ(renameFile("f", "g"), 0);
  EXPECT_TRUE(fileExists("g"));
}
