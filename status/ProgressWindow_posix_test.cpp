#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "status/ProgressWindow.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
Module* addModule(UpdateStatus& status, const char* name, bool critical) {
  return status.downloadQueue.add(
      std::make_unique<Module>(name, "1.0", nullptr, nullptr, critical ? "true" : "false", nullptr, nullptr));
}

// Puts a terminal (or a pipe) in place of standard error and standard input for
// as long as it lives, and reads what was written there.
class StandIn {
 public:
  explicit StandIn(bool terminal) : savedInput(dup(STDIN_FILENO)), savedError(dup(STDERR_FILENO)) {
    if (terminal) {
      int user;
      EXPECT_EQ(openpty(&reader, &user, nullptr, nullptr, nullptr), 0);
      dup2(user, STDIN_FILENO);
      dup2(user, STDERR_FILENO);
      close(user);
    } else {
      int ends[2];
      EXPECT_EQ(pipe(ends), 0);
      reader = ends[0];
      dup2(ends[1], STDERR_FILENO);
      close(ends[1]);
      int nothing = open("/dev/null", O_RDONLY);
      dup2(nothing, STDIN_FILENO);
      close(nothing);
    }
    fcntl(reader, F_SETFL, O_NONBLOCK);
  }
  ~StandIn() {
    dup2(savedInput, STDIN_FILENO);
    dup2(savedError, STDERR_FILENO);
    close(savedInput);
    close(savedError);
    close(reader);
  }
  // Everything written since the last call.
  std::string output() {
    std::string text;
    char buffer[4096];
    ssize_t count;
    while ((count = read(reader, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(count));
    return text;
  }
  void type(const std::string& keys) { EXPECT_EQ(write(reader, keys.data(), keys.size()), ssize_t(keys.size())); }

 private:
  int savedInput;
  int savedError;
  int reader = -1;
};

MaintenanceReport reportOf(const char* state, const char* message) {
  MaintenanceReport report;
  report.successful = true;
  report.status = state;
  report.message = message;
  return report;
}

// A window following a status, with the service's report when one is given.
struct Shown {
  explicit Shown(const char* state = nullptr, const char* message = "") {
    if (state != nullptr) {
      report = reportOf(state, message);
      window.setReport(&report);
    }
    window.start();
    status.addObserver(&window);
  }
  MaintenanceReport report;
  UpdateStatus status;
  ProgressWindow window;
};

const std::string kLineStart = "\r\033[K";
const std::string kEmptyBar = "  [--------------------]";
}  // namespace

TEST(ProgressWindowTerminal, WithoutATerminalPrintsEachNewTextOnceAndNeverWaits) {
  StandIn standIn(false);
  MaintenanceReport report = reportOf("Maintenance", "Servers are\nbusy tonight");
  UpdateStatus status;
  {
    ProgressWindow window;
    window.setReport(&report);
    window.start();
    status.addObserver(&window);
    status.setStage(FindingInstalledModules);
    status.setStage(FindingAvailableModules);
    Module* a = addModule(status, "a.dll", true);
    addModule(status, "b.dll", true);
    a->state = Fetching;
    status.setStage(DownloadingModule, a);
    status.setProgress(40);
    status.setProgress(100);
    a->state = Installing;
    status.setStage(InstallingModule, a);
    status.setStage(Done);
    // Close is allowed, but nobody can press Enter: the window has gone already.
    EXPECT_EQ(window.waitForClose(), kWaitObject0);
  }
  EXPECT_EQ(standIn.output(),
            "Network Status:\nServers are\nbusy tonight\nUpdater Starting\nFinding Installed Modules\n"
            "Finding Available Modules\n[0/2] a.dll downloading\n[1/2] a.dll installed\n[1/2] Done\n");
}

TEST(ProgressWindowTerminal, WithoutATerminalADownServiceDoesNotWaitForTheUser) {
  StandIn standIn(false);
  Shown shown("Down", "Back at six");
  auto& [report, status, window] = shown;
  status.setStage(NetworkUnavailable);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_EQ(standIn.output(), "Network Status:\nBack at six\nUpdater Starting\nNetwork Unavailable\n");
}

TEST(ProgressWindowTerminal, OnATerminalRewritesOneLineWithItsBar) {
  StandIn standIn(true);
  MaintenanceReport report;  // no answer from the service: no notice
  UpdateStatus status;
  {
    ProgressWindow window;
    window.setReport(&report);
    window.start();
    status.addObserver(&window);
    status.setStage(FindingInstalledModules);
    Module* a = addModule(status, "a.dll", true);
    addModule(status, "b.dll", true);
    addModule(status, "c.dat", false);
    a->state = Fetching;
    status.setStage(DownloadingModule, a);
    a->state = Installing;
    status.setStage(InstallingModule, a);
    status.setStage(Done);
    // Without a notice the window closes by itself.
    EXPECT_EQ(window.waitForClose(), kWaitObject0);
  }
  EXPECT_EQ(withoutCarriageReturns(standIn.output()),
            withoutCarriageReturns(kLineStart + "Updater Starting" + kEmptyBar + kLineStart +
                                   "Finding Installed Modules" + kEmptyBar + kLineStart + "[0/2] a.dll downloading" +
                                   kEmptyBar + kLineStart + "[1/2] a.dll installed  [##########----------]" +
                                   kLineStart + "[1/2] Done  [##########----------]\n"));
}

TEST(ProgressWindowTerminal, OnATerminalANoticeOffersCloseAndTheRunWaitsForEnter) {
  StandIn standIn(true);
  Shown shown("Down", "Maintenance until six");
  auto& [report, status, window] = shown;
  status.setStage(NetworkUnavailable);
  EXPECT_EQ(withoutCarriageReturns(standIn.output()), "Network Status:\nMaintenance until six\n" + kLineStart + "Updater Starting" + kEmptyBar +
                       kLineStart + "Network Unavailable" + kEmptyBar + "  Press Enter to close.");
  // Nobody has pressed Enter yet.
  EXPECT_EQ(window.wait(0), kWaitTimeout);
  standIn.type("\n");
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  // Once the window has gone, later changes neither wait nor fail.
  status.setStage(Done);
}

TEST(ProgressWindowTerminalDeathTest, ShowsAnErrorFramedAndEndsTheProgramWithCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto failingRun = [] {
    Shown shown;
    auto& [report, status, window] = shown;
    status.setStage(FindingInstalledModules);
    status.setError("Error: fetch: Server not responding");
  };
  EXPECT_EXIT(failingRun(), ::testing::ExitedWithCode(1),
              "\\+-+\\+\n\\| Error +\\|\n\\+-+\\+\n\\| Error: fetch: Server not responding \\|\n\\+-+\\+\n$");
}
