#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "app/FileSystem.h"
#include "support/FreshFile.h"
#include "tests/FileModes_posix.h"
#include "tests/TestServer.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

TEST(FileSystemPosix, FilesTheUpdaterWritesReplaceALinkPlantedUnderTheirNameInsteadOfWritingThroughIt) {
  UpdaterFixture updater({{"modulesFile", "modules.xml"}});
  TestServer server;
  server.setRoute("/a.bin", "new bytes");
  const std::string outside = makeTempDir(), victim = outside + "/victim";
  writeFile(victim, "outside the installation");
  writeFile("modules.xml", "<modules/>");
  for (const char* name : {"a.bin.new", "modules.xml.new", "fresh"}) ASSERT_EQ(symlink(victim.c_str(), name), 0);
  ASSERT_EQ(symlink((outside + "/dangling").c_str(), "dangling"), 0);

  Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin");
  updater->fetchComponent(module);
  ModuleList installed, queue;
  updater->commitInstalledModules(installed, queue);
  for (const char* name : {"fresh", "dangling"}) {
    FILE* file = openFreshFile(name, false);
    ASSERT_NE(file, nullptr) << name;
    std::fclose(file);
  }

  EXPECT_EQ(contentsOf({victim, outside + "/dangling", "a.bin.new"}), "outside the installation|-|new bytes");
  EXPECT_NE(readFile("modules.xml").find("<modules"), std::string::npos);
  struct stat information;
  for (const char* name : {"a.bin.new", "modules.xml", "fresh", "dangling"}) {
    ASSERT_EQ(lstat(name, &information), 0) << name;
    EXPECT_TRUE(S_ISREG(information.st_mode)) << name;
  }
  removeTree(outside);
}

// Parallel workers create files while another installs: learning the umask
// must never open it, even for a moment.
TEST(FileSystemPosix, ReadingTheUmaskNeverLetsAnotherThreadCreateAWorldWritableFile) {
  Umask mask(022);
  const std::string folder = makeTempDir(), program = folder + "/program", made = folder + "/made";
  writeFile(program, "#!/bin/sh\n");
  std::atomic<bool> done(false);
  std::thread installer([&] {
    for (int i = 0; i < 3000; ++i) {
      rereadUmaskForTesting();
      EXPECT_EQ(newFileAttributes(program).mode, 0755u);
    }
    done = true;
  });
  int opened = 0;
  while (!done) {
    const int fd = open(made.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0666);
    ASSERT_GE(fd, 0);
    struct stat information;
    ASSERT_EQ(fstat(fd, &information), 0);
    close(fd);
    unlink(made.c_str());
    EXPECT_EQ(information.st_mode & 022, 0u) << "file " << ++opened;
    if (information.st_mode & 022) break;
  }
  installer.join();
  removeTree(folder);
}
