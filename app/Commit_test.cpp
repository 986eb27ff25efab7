#include <gtest/gtest.h>

#include <cstring>

#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
const std::string kModulesFile = "installed.xml";

// An updater whose installed list (a.dll, b.dat, c.exe) is on disk, and a run's
// queue that replaces b.dat and adds d.new.
struct Installed {
  Installed() {
    addModules(installed, {"a.dll", "b.dat", "c.exe"});
    addModule(queue, "b.dat", true, "1.1")->state = Complete;
    addModule(queue, "d.new", true, "2.0")->state = Complete;
    installed.writeFile(kModulesFile);
  }
  void commit() { updater->commitInstalledModules(installed, queue); }

  UpdaterFixture updater{{{"modulesFile", kModulesFile}}};
  ModuleList installed, queue;
};
}  // namespace

TEST(Commit, MergesTheQueueAfterTheRecordsItDoesNotReplace) {
  Installed run;
  // A stale backup, left by a commit that failed to delete it, no longer blocks the commit.
  writeFile(kModulesFile + ".old", "stale");
  run.commit();
  EXPECT_EQ(recordsOf(kModulesFile), (std::vector<std::string>{"a.dll=1.0", "c.exe=1.0", "b.dat=1.1", "d.new=2.0"}));
  EXPECT_FALSE(fileExists(kModulesFile + ".old"));
  // A record no walk reached claims nothing: its previous record stays, a new one stays out.
  run.queue.find("b.dat")->state = Pending;
  run.queue.find("d.new")->state = Fetching;
  run.commit();
  EXPECT_EQ(recordsOf(kModulesFile), (std::vector<std::string>{"a.dll=1.0", "b.dat=1.0", "c.exe=1.0"}));
  EXPECT_EQ(contentsOf({kModulesFile + ".new", kModulesFile + ".old"}), "-|-");
  // The lists given are not changed.
  EXPECT_EQ(run.installed.size(), 3u);
  EXPECT_EQ(run.installed.find("b.dat")->version.text, "1.0");
}

TEST(Commit, FailuresNameTheSourceOfTheFailedRenameAndKeepAListOnDisk) {
  Installed run;
  const std::string& current = kModulesFile;
  const std::vector<std::string> previous = {"a.dll=1.0", "b.dat=1.0", "c.exe=1.0"};

  // The current file cannot be moved aside: it stays as it was.
  EXPECT_EQ(failureText([&] { FailingRename denied(current, EACCES); run.commit(); }),
            "rename " + current + ": " + std::strerror(EACCES));
  EXPECT_EQ(recordsOf(current), previous);
  EXPECT_EQ(recordsOf(current + ".new").size(), 4u);

  // The new file cannot take its place: the previous list waits under the backup name.
  EXPECT_EQ(failureText([&] { FailingRename full(current + ".new", ENOSPC); run.commit(); }),
            "rename " + current + ".new: " + std::strerror(ENOSPC));
  EXPECT_FALSE(fileExists(current));
  EXPECT_EQ(recordsOf(current + ".old"), previous);
  EXPECT_EQ(recordsOf(current + ".new").size(), 4u);

  // The next run finds the previous list back in place.
  LogCapture log;
  run.updater->restoreInterruptedCommit();
  EXPECT_EQ(log.lines(), std::vector<std::string>{"restored " + current + " from " + current + ".old"});
  EXPECT_EQ(recordsOf(current), previous);
  EXPECT_FALSE(fileExists(current + ".old"));
  // Beside the current file a backup is no sign of a stopped commit: both stay.
  writeFile(current + ".old", "older");
  run.updater->restoreInterruptedCommit();
  EXPECT_EQ(recordsOf(current), previous);
  EXPECT_EQ(readFile(current + ".old"), "older");
  EXPECT_EQ(log.lines().size(), 1u);
}
