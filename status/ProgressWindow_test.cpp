#include "status/ProgressWindow.h"

#include <gtest/gtest.h>

#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// Follows a run's status changes as the window does, carrying the range over.
struct Follower {
  ProgressView stage(RunStage stage, Module* subject = nullptr) {
    status.stage = stage;
    if (subject != nullptr) status.subject = subject;
    ProgressView view = ProgressWindow::describe(status, total, notice);
    total = view.moduleTotal;
    return view;
  }

  UpdateStatus& status;
  bool notice = false;
  int32_t total = -1;
};

// Stands for a dialog that could not be created: the thread ends without the signal.
struct WindowThatNeverComesUp : ProgressWindow {
  ~WindowThatNeverComesUp() override { wait(kInfinite); }
  uint32_t run() override { return 0; }
};
}  // namespace

// An empty queue never shows counts, one without critical modules an empty
// range; Done closes by itself only without a notice.
TEST(ProgressView, EmptyRangesAndHowTheLastStagesClose) {
  UpdateStatus status;
  Follower window{status};
  EXPECT_EQ(window.stage(Starting).text, "");
  EXPECT_EQ(window.stage(UpdatingInstalledModulesList).text, "Updating Installed Modules List");
  EXPECT_EQ(window.stage(Done).moduleTotal, -1);
  Module* x = addModule(status.downloadQueue, "x.dat", false);
  EXPECT_EQ(window.stage(DownloadingModule, x).text, "[0/0] x.dat downloading");
  for (bool notice : {false, true}) {
    ProgressView done = Follower{status, notice}.stage(Done);
    EXPECT_EQ(done.close, !notice);
    EXPECT_EQ(done.enableClose, notice);
    ProgressView down = Follower{status, notice}.stage(NetworkUnavailable);
    EXPECT_EQ(down.text, "[0/0] Network Unavailable");
    EXPECT_TRUE(down.enableClose && !down.close);
  }
  // The range was set at the first queue: one that grows does not change it.
  addModule(status.downloadQueue, "late.dll", true);
  EXPECT_EQ(window.stage(Done).text, "[0/0] Done");
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

// The terminal display itself is followed through the real program (EndToEndTerminal).
TEST(ProgressWindowTerminalDeathTest, ShowsAnErrorFramedAndEndsTheProgramWithCodeOne) {
  if (onWindows()) GTEST_SKIP() << "the Windows build shows a message box";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto failingRun = [] {
    UpdateStatus status;
    ProgressWindow window;
    window.start();
    status.addObserver(&window);
    status.setStage(FindingInstalledModules);
    status.setError("Error: fetch: Server not responding");
  };
  EXPECT_EXIT(failingRun(), ::testing::ExitedWithCode(1),
              "\\+-+\\+\n\\| Error +\\|\n\\+-+\\+\n\\| Error: fetch: Server not responding \\|\n\\+-+\\+\n$");
}
