#include "app/FileSystem.h"

#include <gtest/gtest.h>

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
