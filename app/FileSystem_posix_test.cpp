#include <sys/stat.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

#include "app/FileSystem.h"
#include "support/FreshFile.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

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
