#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "app/FileSystem.h"
#include "tests/FileModes_posix.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

// The whole mode, read-only included, also when the run stops right after the
// exchange (a kill there): it was set on the download before.
TEST(ComponentInstallPosix, AReplacedFileKeepsItsWholeModeAlsoWhenTheRunStopsAfterTheExchange) {
  const struct {
    const char* name;
    mode_t mode;
  } cases[] = {{"updater", 0750}, {"game", 0555}, {"client", 0755}};
  UpdaterFixture updater;
  for (const auto& c : cases) {
    Module module = makeModule(c.name);
    writeFile(c.name, "old");
    chmod(c.name, c.mode);
    writeFile(std::string(c.name) + ".new", "new");
    chmod((std::string(c.name) + ".new").c_str(), 0600);
    if (module.name == "client") {
      StoppingRename stop("client.new");
      EXPECT_THROW(updater->installComponent(module), RunStopped);
    } else {
      updater->installComponent(module);
    }
    EXPECT_EQ(readFile(c.name), "new");
    EXPECT_EQ(modeOf(c.name), c.mode) << c.name;
  }
}

TEST(ComponentInstallPosix, ANewModuleIsRunnableOnlyWhenItIsAProgram) {
  UpdaterFixture updater;
  Umask mask(022);
  Module program = makeModule("bin/tool");
  Module data = makeModule("data.pak");
  Module forced = makeModule("run.sh", true);
  writeFile("bin/tool.new", std::string("\x7f" "ELF\x02\x01\x01\x00", 8));
  writeFile("data.pak.new", "PAK");
  writeFile("run.sh.new", "#!/bin/sh\n");
  for (const char* name : {"bin/tool.new", "data.pak.new", "run.sh.new"}) chmod(name, 0600);
  updater->installComponent(program);
  updater->installComponent(data);
  updater->installComponent(forced);
  EXPECT_EQ(modeOf("bin/tool"), 0755u);
  EXPECT_EQ(modeOf("data.pak"), 0644u);
  EXPECT_EQ(modeOf("run.sh"), 0555u);
  EXPECT_EQ(readFileAttributes("run.sh").word, 0x21u);
}

// Only a busy program counts as in use on POSIX, not a permission error; the
// deferred download is given the target's mode for the script.
TEST(ComponentInstallPosix, OnlyABusyProgramIsDeferredAndItsDownloadTakesTheTargetsMode) {
  UpdaterFixture updater;
  Module library = makeModule("a.so");
  Module self = makeModule("updater");
  for (const char* name : {"a.so", "updater"}) {
    writeFile(name, "old");
    writeFile(std::string(name) + ".new", "new");
  }
  chmod("updater", 0755);
  chmod("updater.new", 0644);
  {
    FailingRename denied("a.so", EACCES);
    updater->installComponent(library);
  }
  EXPECT_TRUE(updater->deferredRenames.empty());
  EXPECT_EQ(readFile("a.so"), "new");
  {
    FailingRename busy("", ETXTBSY);
    updater->installComponent(self);
  }
  EXPECT_TRUE(updater->updaterRenameDeferred);
  EXPECT_EQ(modeOf("updater.new"), 0755u);
  EXPECT_EQ(readFile("updater"), "old");
}
