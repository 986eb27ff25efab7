#include <gtest/gtest.h>

#include "catalogue/UpdatePlan.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

// What a stop between any two steps of an exchange leaves, and what the next run makes of it.
TEST(Recovery, AMissingTargetComesBackFromItsBackupAndAStaleBackupGoes) {
  UpdaterFixture updater;
  writeFile("lib/gone.dll.old", "old");  // stopped between the two renames
  makeReadOnly("lib/gone.dll.old");
  writeFile("stale.dat", "new");  // stopped before the backup was removed
  writeFile("stale.dat.old", "old");
  makeReadOnly("stale.dat.old");
  writeFile("alone.dat.old", "not a module's");
  ModuleList installed, available;
  addModules(installed, {"lib/gone.dll", "stale.dat"});
  addModules(available, {"stale.dat", "fresh.dat"});
  LogCapture log;
  updater->repairInterruptedInstallations(installed, available);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"restored lib/gone.dll from lib/gone.dll.old"});
  EXPECT_TRUE(readFileAttributes("lib/gone.dll").readOnly());
  EXPECT_EQ(contentsOf({"lib/gone.dll", "lib/gone.dll.old", "stale.dat", "stale.dat.old", "alone.dat.old"}),
            "old|-|new|-|not a module's");
}

// While only the updater's own files are fetched, the other modules stay out of date.
TEST(Recovery, DownloadsNothingWillUseAreRemovedOthersKept) {
  for (bool selfUpdate : {false, true}) {
    UpdaterFixture updater;
    ModuleList installed, available;
    addModules(installed, {"current.dat", "old.dat"});
    addModules(available, {"current.dat", "queued.dat"});
    addModules(updater->status.downloadQueue, {selfUpdate ? kUpdaterExecutable : "queued.dat"});
    for (const char* name : {"current.dat.new", "old.dat.new", "queued.dat.new", "stranger.new"}) writeFile(name, "x");
    makeReadOnly("current.dat.new");
    updater->removeUnusedDownloads(installed, available);
    EXPECT_EQ(contentsOf({"current.dat.new", "old.dat.new", "queued.dat.new", "stranger.new"}),
              selfUpdate ? "x|-|x|x" : "-|-|x|x");
  }
}

TEST(Recovery, WorkAnEarlierRunDidIsTakenOverOnlyWhenLengthAndChecksumMatch) {
  const std::string content = "the announced content";
  // The target and "m.dat.new" before ("=": the content, nullptr: none), whether the MD5 is announced, what the
  // sha256 announced is of (nullptr: none), what is found, whether the download stays and the line logged.
  struct Case { const char *what, *target, *downloaded; bool announcedMd5; const char* sha256Of; EarlierWork expected;
                bool downloadKept; const char* logLine; };
  const Case cases[] = {
      {"target matches", "=", "half", true, nullptr, EarlierWork::Installed, false,
       "component m.dat is already in place"},
      {"download matches", "old", "=", true, nullptr, EarlierWork::Downloaded, true,
       "component m.dat is already downloaded"},
      {"sha256 matches", "=", nullptr, false, "=", EarlierWork::Installed, false,
       "component m.dat is already in place"},
      {"sha256 decides over md5", "=", nullptr, true, "THE ANNOUNCED CONTENT", EarlierWork::None, false, nullptr},
      {"download partial", "old", "the announced", true, nullptr, EarlierWork::None, true, nullptr},
      {"download whole but wrong", nullptr, "THE ANNOUNCED CONTENT", true, nullptr, EarlierWork::None, false, nullptr},
      {"download longer", nullptr, "the announced content and more", true, nullptr, EarlierWork::None, false, nullptr},
      {"no checksum announced", "=", nullptr, false, nullptr, EarlierWork::None, false, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    UpdaterFixture updater;
    Module module = announcedModule("m.dat", content);
    if (!c.announcedMd5) module.md5sum = "";
    if (c.sha256Of != nullptr)
      module.sha256 = hexText(Digest::of(DigestAlgorithm::Sha256, *c.sha256Of == '=' ? content : c.sha256Of));
    if (c.target != nullptr) writeFile("m.dat", std::string(c.target) == "=" ? content : c.target);
    if (c.downloaded != nullptr) writeFile("m.dat.new", std::string(c.downloaded) == "=" ? content : c.downloaded);
    LogCapture log;
    EXPECT_EQ(updater->findEarlierWork(module), c.expected);
    EXPECT_EQ(fileExists("m.dat.new"), c.downloadKept);
    EXPECT_EQ(log.lines(), c.logLine ? std::vector<std::string>{c.logLine} : std::vector<std::string>{});
    EXPECT_TRUE(c.expected == EarlierWork::None || updater->status.progress == 100) << updater->status.progress;
  }
}

// A deferred module is recorded only once its file is in place, whether the
// script did the rename after the run ended or never ran.
TEST(Recovery, ADeferredModuleIsRecordedByTheRunThatFindsItsFileInPlace) {
  const std::string content = "version 2";
  for (bool scriptRan : {true, false}) {
    SCOPED_TRACE(scriptRan ? "script ran" : "script never ran");
    UpdaterFixture updater({{"modulesFile", "installed.xml"}});
    ModuleList installed;
    addModules(installed, {"client.dll"});
    installed.writeFile("installed.xml");
    writeFile("client.dll", "version 1");
    writeFile("added.dll", "new");
    for (const char* name : {"client.dll", "added.dll"}) {
      updater->status.downloadQueue.add(std::make_unique<Module>(announcedModule(name, content)))->state = Complete;
      writeFile(std::string(name) + ".new", content);
      updater->deferredRenames[std::string(name) + ".new"] = name;
    }
    updater->commitInstalledModules(installed, updater->status.downloadQueue);
    EXPECT_EQ(recordsOf("installed.xml"), std::vector<std::string>{"client.dll=1.0"});

    if (scriptRan) {  // as the script does it: delete, then rename
      ASSERT_EQ(std::remove("client.dll"), 0);
      ASSERT_EQ(std::rename("client.dll.new", "client.dll"), 0);
    }
    Updater next;
    Module again = announcedModule("client.dll", content);
    EarlierWork earlier = next.findEarlierWork(again);
    EXPECT_EQ(earlier, scriptRan ? EarlierWork::Installed : EarlierWork::Downloaded);
    if (earlier == EarlierWork::Downloaded) next.installComponent(again);
    EXPECT_EQ(readFile("client.dll"), content);
  }
}
