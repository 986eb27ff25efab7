#include <gtest/gtest.h>

#include <cstring>

#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
const char* kModulesFile = "installed.xml";

struct Lists {
  Lists() {
    for (const char* name : {"a.dll", "b.dat", "c.exe"}) addModule(installed, name);
    addModule(queue, "b.dat", true, "1.1")->state = Complete;
    addModule(queue, "d.new", true, "2.0")->state = Complete;
  }
  ModuleList installed, queue;
};
}  // namespace

TEST(Commit, MergesTheQueueAfterTheRecordsItDoesNotReplace) {
  UpdaterFixture updater({{"modulesFile", kModulesFile}});
  Lists lists;
  lists.installed.writeFile(kModulesFile);
  // A stale backup, left by a commit that failed to delete it, no longer blocks the commit.
  writeFile(std::string(kModulesFile) + ".old", "stale");
  updater->commitInstalledModules(lists.installed, lists.queue);
  EXPECT_EQ(recordsOf(kModulesFile), (std::vector<std::string>{"a.dll=1.0", "c.exe=1.0", "b.dat=1.1", "d.new=2.0"}));
  EXPECT_FALSE(fileExists(std::string(kModulesFile) + ".old"));
  // A record no walk reached claims nothing: its previous record stays, a new one stays out.
  lists.queue.find("b.dat")->state = Pending;
  lists.queue.find("d.new")->state = Fetching;
  updater->commitInstalledModules(lists.installed, lists.queue);
  EXPECT_EQ(recordsOf(kModulesFile), (std::vector<std::string>{"a.dll=1.0", "b.dat=1.0", "c.exe=1.0"}));
  EXPECT_FALSE(fileExists(std::string(kModulesFile) + ".new"));
  EXPECT_FALSE(fileExists(std::string(kModulesFile) + ".old"));
  // The lists given are not changed.
  EXPECT_EQ(lists.installed.size(), 3u);
  EXPECT_EQ(lists.installed.find("b.dat")->version.text, "1.0");
}

TEST(Commit, FailuresNameTheSourceOfTheFailedRenameAndKeepAListOnDisk) {
  UpdaterFixture updater({{"modulesFile", kModulesFile}});
  const std::string current = kModulesFile;
  Lists lists;
  lists.installed.writeFile(current);
  const std::vector<std::string> previous = {"a.dll=1.0", "b.dat=1.0", "c.exe=1.0"};
  auto commit = [&] { updater->commitInstalledModules(lists.installed, lists.queue); };

  // The current file cannot be moved aside: it stays as it was.
  EXPECT_EQ(failureText([&] { FailingRename denied(current, EACCES); commit(); }),
            "rename " + current + ": " + std::strerror(EACCES));
  EXPECT_EQ(recordsOf(current), previous);
  EXPECT_EQ(recordsOf(current + ".new").size(), 4u);

  // The new file cannot take its place: the previous list waits under the backup name.
  EXPECT_EQ(failureText([&] { FailingRename full(current + ".new", ENOSPC); commit(); }),
            "rename " + current + ".new: " + std::strerror(ENOSPC));
  EXPECT_FALSE(fileExists(current));
  EXPECT_EQ(recordsOf(current + ".old"), previous);
  EXPECT_EQ(recordsOf(current + ".new").size(), 4u);

  // The next run finds the previous list back in place.
  LogCapture log;
  updater->restoreInterruptedCommit();
  EXPECT_EQ(log.lines(), std::vector<std::string>{"restored " + current + " from " + current + ".old"});
  EXPECT_EQ(recordsOf(current), previous);
  EXPECT_FALSE(fileExists(current + ".old"));
  // Beside the current file a backup is no sign of a stopped commit: both stay.
  writeFile(current + ".old", "older");
  updater->restoreInterruptedCommit();
  EXPECT_EQ(recordsOf(current), previous);
  EXPECT_EQ(readFile(current + ".old"), "older");
  EXPECT_EQ(log.lines().size(), 1u);
}
