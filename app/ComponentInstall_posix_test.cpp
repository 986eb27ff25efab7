#include <sys/stat.h>

#include <gtest/gtest.h>

#include <optional>

#include "tests/FileModes_posix.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

// A replaced file keeps its whole mode, read-only included, also when the run
// stops right after the exchange (a kill there): it was set on the download
// before. A new module is runnable only when it is a program. Only a busy
// program counts as in use on POSIX, not a permission error.
TEST(ComponentInstallPosix, AReplacedFileKeepsItsWholeModeAndANewOneIsRunnableOnlyAsAProgram) {
  // The mode before (0: new), the new bytes, the mode after, and the error of the target's rename.
  const struct { const char* name; mode_t before; std::string bytes; bool forceReadOnly; mode_t mode; int renameError; }
      cases[] = {{"updater", 0750, "new", false, 0750, 0},        {"a.so", 0644, "new", false, 0644, EACCES},
                 {"game", 0555, "new", false, 0555, 0},           {"data.pak", 0, "PAK", false, 0644, 0},
                 {"client", 0755, "new", false, 0755, 0},  // the run stops after the exchange
                 {"bin/tool", 0, std::string("\x7f" "ELF\x02\x01\x01\x00", 8), false, 0755, 0},
                 {"run.sh", 0, "#!/bin/sh\n", true, 0555, 0}};
  UpdaterFixture updater;
  Umask mask(022);
  for (const auto& c : cases) {
    Module module = makeModule(c.name, c.forceReadOnly);
    if (c.before != 0) {
      writeFile(c.name, "old");
      chmod(c.name, c.before);
    }
    writeFile(std::string(c.name) + ".new", c.bytes);
    chmod((std::string(c.name) + ".new").c_str(), 0600);
    std::optional<FailingRename> denied;
    if (c.renameError != 0) denied.emplace(c.name, c.renameError);
    if (module.name == "client") {
      StoppingRename stop("client.new");
      EXPECT_THROW(updater->installComponent(module), RunStopped);
    } else {
      updater->installComponent(module);
    }
    EXPECT_EQ(readFile(c.name), c.bytes);
    EXPECT_EQ(readFileAttributes(c.name).mode, c.mode) << c.name;
  }
  EXPECT_EQ(readFileAttributes("run.sh").word, 0x21u);
  EXPECT_TRUE(updater->deferredRenames.empty());
}

// A busy program is deferred, its download given the target's mode for the script.
TEST(ComponentInstallPosix, ABusyProgramIsDeferredAndItsDownloadTakesTheTargetsMode) {
  UpdaterFixture updater;
  Module self = makeModule("updater");
  writeFile("updater", "old");
  writeFile("updater.new", "new");
  chmod("updater", 0755);
  chmod("updater.new", 0644);
  FailingRename busy("", ETXTBSY);
  updater->installComponent(self);
  EXPECT_TRUE(updater->updaterRenameDeferred);
  EXPECT_EQ(readFileAttributes("updater.new").mode, 0755u);
  EXPECT_EQ(readFile("updater"), "old");
}
