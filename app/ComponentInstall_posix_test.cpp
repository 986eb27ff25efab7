#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "app/FileSystem.h"
#include "tests/FileModes_posix.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

TEST(ComponentInstallPosix, AReplacedProgramKeepsItsWholeMode) {
  UpdaterFixture updater;
  Module module = makeModule("updater");
  writeFile("updater", "old");
  chmod("updater", 0750);
  writeFile("updater.new", "new");
  chmod("updater.new", 0600);
  updater->installComponent(module);
  EXPECT_EQ(readFile("updater"), "new");
  EXPECT_EQ(modeOf("updater"), 0750u);
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

TEST(ComponentInstallPosix, AReadOnlyTargetKeepsItsOtherBitsAndIsReadOnlyAgain) {
  UpdaterFixture updater;
  Module module = makeModule("game");
  writeFile("game", "old");
  chmod("game", 0555);
  writeFile("game.new", "new");
  LogCapture log;
  updater->installComponent(module);
  EXPECT_EQ(log.lines()[2], "clearing read-only flag");
  EXPECT_EQ(modeOf("game"), 0555u);
}

// A permission error is no sign of a file in use on POSIX: no deferral.
TEST(ComponentInstallPosix, APermissionErrorOnTheBackupRenameIsNotDeferred) {
  UpdaterFixture updater;
  Module module = makeModule("a.so");
  writeFile("a.so", "old");
  writeFile("a.so.new", "new");
  {
    FailingRename denied("a.so", EACCES);
    updater->installComponent(module);
  }
  EXPECT_TRUE(updater->deferredRenames.empty());
  EXPECT_EQ(readFile("a.so"), "new");
}

// A stop right after the exchange (a kill) keeps a program runnable: its mode
// was set while it was still the downloaded file.
TEST(ComponentInstallPosix, AStopRightAfterTheExchangeLeavesAProgramRunnable) {
  struct Stopped {};
  UpdaterFixture updater;
  Module module = makeModule("client");
  writeFile("client", "old");
  chmod("client", 0755);
  writeFile("client.new", "new");
  chmod("client.new", 0600);
  setRenameFunctionForTesting([](const std::string& from, const std::string& to) {
    int result = std::rename(from.c_str(), to.c_str());
    if (from == "client.new") throw Stopped();
    return result;
  });
  EXPECT_THROW(updater->installComponent(module), Stopped);
  setRenameFunctionForTesting(nullptr);
  EXPECT_EQ(readFile("client"), "new");
  EXPECT_EQ(modeOf("client"), 0755u);
}

TEST(ComponentInstallPosix, ADeferredProgramIsGivenTheTargetsModeForTheScript) {
  UpdaterFixture updater;
  Module module = makeModule("updater");
  writeFile("updater", "old");
  chmod("updater", 0755);
  writeFile("updater.new", "new");
  chmod("updater.new", 0644);
  {
    FailingRename busy("", ETXTBSY);
    updater->installComponent(module);
  }
  EXPECT_TRUE(updater->updaterRenameDeferred);
  EXPECT_EQ(modeOf("updater.new"), 0755u);
  EXPECT_EQ(readFile("updater"), "old");
}
