#include <sys/stat.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "app/FileSystem.h"
#include "support/FreshFile.h"
#include "tests/FileModes_posix.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"
#include "tests/UpdaterFixture.h"

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

TEST(FileSystemPosix, FilesTheUpdaterWritesReplaceALinkPlantedUnderTheirNameInsteadOfWritingThroughIt) {
  UpdaterFixture updater({{"modulesFile", "modules.xml"}});
  TestServer server;
  Route route;
  route.body = "new bytes";
  server.setRoute("/a.bin", route);
  const std::string outside = makeTempDir();
  const std::string victim = outside + "/victim";
  writeFile(victim, "outside the installation");
  writeFile("modules.xml", "<modules/>");
  for (const char* name : {"a.bin.new", "modules.xml.new", "fresh"}) ASSERT_EQ(symlink(victim.c_str(), name), 0);
  ASSERT_EQ(symlink((outside + "/dangling").c_str(), "dangling"), 0);

  Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin");
  updater->fetchComponent(module);
  ModuleList installed;
  ModuleList queue;
  updater->commitInstalledModules(installed, queue);
  for (const char* name : {"fresh", "dangling"}) {
    FILE* file = openFreshFile(name, false);
    ASSERT_NE(file, nullptr) << name;
    std::fclose(file);
  }

  EXPECT_EQ(readFile(victim), "outside the installation");
  EXPECT_FALSE(fileExists(outside + "/dangling"));
  EXPECT_EQ(readFile("a.bin.new"), "new bytes");
  EXPECT_NE(readFile("modules.xml").find("<modules"), std::string::npos);
  struct stat information;
  for (const char* name : {"a.bin.new", "modules.xml", "fresh", "dangling"}) {
    ASSERT_EQ(lstat(name, &information), 0) << name;
    EXPECT_TRUE(S_ISREG(information.st_mode)) << name;
  }
  removeTree(outside);
}
