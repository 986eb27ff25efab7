#include "status/ProgressWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// Follows a run's status changes as the window does, carrying the range over.
class Follower {
 public:
  explicit Follower(UpdateStatus& status, bool notice = false) : status(status), notice(notice) {}
  ProgressView see() {
    ProgressView view = ProgressWindow::describe(status, total, notice);
    total = view.moduleTotal;
    return view;
  }
  ProgressView stage(RunStage stage, Module* subject = nullptr) {
    status.stage = stage;
    if (subject != nullptr) status.subject = subject;
    return see();
  }

 private:
  UpdateStatus& status;
  bool notice;
  int32_t total = -1;
};

// Stands for a dialog that could not be created: the thread ends without the signal.
class WindowThatNeverComesUp : public ProgressWindow {
 public:
  ~WindowThatNeverComesUp() override { wait(kInfinite); }
  uint32_t run() override { return 0; }
};
}  // namespace

TEST(ProgressView, CountsFetchedCriticalModulesAgainstTheRangeSetAtTheFirstQueue) {
  UpdateStatus status;
  Follower window(status);
  EXPECT_EQ(window.stage(FindingInstalledModules).text, "Finding Installed Modules");
  ProgressView view = window.stage(FindingAvailableModules);
  EXPECT_EQ(view.text, "Finding Available Modules");
  EXPECT_EQ(view.moduleTotal, -1);

  Module* a = addModule(status.downloadQueue, "a.dll", true);
  addModule(status.downloadQueue, "b.dat", false);
  Module* c = addModule(status.downloadQueue, "c.dll", true);
  status.downloadQueue.setState(*a, Fetching);
  view = window.stage(DownloadingModule, a);
  EXPECT_EQ(view.moduleTotal, 2);
  EXPECT_EQ(view.done, 0);
  EXPECT_EQ(view.text, "[0/2] a.dll downloading");
  status.downloadQueue.setState(*a, Installing);
  view = window.stage(InstallingModule, a);
  EXPECT_EQ(view.done, 1);
  EXPECT_EQ(view.text, "[1/2] a.dll installed");
  status.downloadQueue.setState(*a, Complete);
  status.downloadQueue.setState(*c, Complete);
  EXPECT_EQ(window.stage(LaunchingProgram).text, "[2/2] Launching Program");
  // A non-critical module changes neither count.
  Module* b = status.downloadQueue.find("b.dat");
  status.downloadQueue.setState(*b, Fetching);
  EXPECT_EQ(window.stage(DownloadingModule, b).text, "[2/2] b.dat downloading");
  status.downloadQueue.setState(*b, Complete);
  EXPECT_EQ(window.stage(UpdatingInstalledModulesList).text, "[2/2] Updating Installed Modules List");
  // The range was set once; a queue that grows does not change it.
  addModule(status.downloadQueue, "late.dll", true);
  view = window.stage(Done);
  EXPECT_EQ(view.moduleTotal, 2);
  EXPECT_EQ(view.text, "[2/2] Done");
}

// An empty queue never shows counts; one without critical modules an empty range.
TEST(ProgressView, AnEmptyQueueNeverShowsCountsAndOneWithoutCriticalModulesAnEmptyRange) {
  UpdateStatus status;
  Follower window(status);
  EXPECT_EQ(window.stage(UpdatingInstalledModulesList).text, "Updating Installed Modules List");
  EXPECT_EQ(window.stage(Done).moduleTotal, -1);
  Module* x = addModule(status.downloadQueue, "x.dat", false);
  addModule(status.downloadQueue, "y.dat", false);
  EXPECT_EQ(window.stage(DownloadingModule, x).text, "[0/0] x.dat downloading");
  status.downloadQueue.setState(*x, Complete);
  EXPECT_EQ(window.stage(InstallingModule, x).text, "[0/0] x.dat installed");
}

TEST(ProgressView, DoneClosesWithoutANoticeAndOffersCloseWithOne) {
  UpdateStatus status;
  ProgressView plain = Follower(status, false).stage(Done);
  EXPECT_TRUE(plain.close);
  EXPECT_FALSE(plain.enableClose);
  ProgressView noticed = Follower(status, true).stage(Done);
  EXPECT_FALSE(noticed.close);
  EXPECT_TRUE(noticed.enableClose);
  for (bool notice : {false, true}) {
    ProgressView down = Follower(status, notice).stage(NetworkUnavailable);
    EXPECT_EQ(down.text, "Network Unavailable");
    EXPECT_TRUE(down.enableClose);
    EXPECT_FALSE(down.close);
  }
  ProgressView starting = Follower(status).stage(Starting);
  EXPECT_EQ(starting.text, "");
  EXPECT_FALSE(starting.close || starting.enableClose);
}

TEST(ProgressWindow, PutsACarriageReturnBeforeEveryLineFeedOfTheNotice) {
  EXPECT_EQ(ProgressWindow::withCarriageReturns("one\ntwo\n"), "one\r\ntwo\r\n");
  EXPECT_EQ(ProgressWindow::withCarriageReturns("one\r\ntwo"), "one\r\r\ntwo");
  EXPECT_EQ(ProgressWindow::withCarriageReturns("\n\n"), "\r\n\r\n");
  EXPECT_EQ(ProgressWindow::withCarriageReturns("plain"), "plain");
}

TEST(ProgressWindow, GoesOnWithoutWaitingWhenItsWindowNeverCameUp) {
  LogCapture log;
  UpdateStatus status;
  WindowThatNeverComesUp window;
  MaintenanceReport report;
  window.setReport(&report);
  status.addObserver(&window);
  window.start();
  status.setStage(FindingInstalledModules);
  status.setStage(DownloadingModule, addModule(status.downloadQueue, "a.dll", true));
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_EQ(log.lines(), std::vector<std::string>(3, "observed status change"));
}

TEST(ProgressWindow, StatusChangesBeforeTheThreadStartsDoNotWait) {
  LogCapture log;
  UpdateStatus status;
  ProgressWindow window;
  status.addObserver(&window);
  status.setStage(FindingInstalledModules);
  EXPECT_EQ(log.lines(), std::vector<std::string>(1, "observed status change"));
}
