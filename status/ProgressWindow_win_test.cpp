#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include "status/ProgressWindow.h"
#include "status/ProgressWindowIds.h"
#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// A window following a status, with the service's report when one is given, and
// the dialog the first status change brings up (the tests own the display).
struct Shown {
  explicit Shown(const char* state = nullptr, const char* message = "") {
    if (state != nullptr) {
      report = {true, state, message};
      window.setReport(&report);
    }
    window.start();
    status.addObserver(&window);
    status.setStage(FindingInstalledModules);
    dialog = FindWindowA("#32770", "Updater");
  }
  MaintenanceReport report;
  UpdateStatus status;
  ProgressWindow window;
  HWND dialog;
};

std::string itemText(HWND dialog, int item) {
  char text[1024] = "";
  GetWindowTextA(GetDlgItem(dialog, item), text, sizeof text);
  return text;
}

int bar(HWND dialog, UINT message, WPARAM wParam = 0) {
  return static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_PROGRESS_BAR), message, wParam, 0));
}

// Presses Enter and Esc in the dialog, which must do nothing, and waits until
// the keys have been through its message loop.
void pressEnterAndEscape(HWND dialog) {
  const int marker = bar(dialog, PBM_GETPOS) + 1;
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageA(dialog, WM_KEYDOWN, key, 1);
    PostMessageA(dialog, WM_KEYUP, key, 0xC0000001);
  }
  // Posted messages are handled in order: once the marker is in, so are the keys.
  PostMessageA(GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_SETPOS, marker, 0);
  while (bar(dialog, PBM_GETPOS) != marker) Sleep(1);
  bar(dialog, PBM_SETPOS, marker - 1);
  EXPECT_TRUE(IsWindow(dialog));
}
}  // namespace

TEST(ProgressWindowDialog, ShowsTheRunsStepsOnTheBarAndClosesItselfWhenDone) {
  Shown shown("Up", "All fine");
  auto& [report, status, window, dialog] = shown;
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(itemText(dialog, -1), "Finding Installed Modules");
  EXPECT_EQ(GetDlgItem(dialog, IDC_NOTICE), nullptr);
  EXPECT_EQ(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetClassLongPtrA(dialog, GCLP_HICON), 0u);
  pressEnterAndEscape(dialog);

  Module* a = addModule(status.downloadQueue, "a.dll", true);
  addModule(status.downloadQueue, "b.dll", true);
  addModule(status.downloadQueue, "c.dat", false);
  status.downloadQueue.setState(*a, Fetching);
  status.setStage(DownloadingModule, a);
  EXPECT_EQ(itemText(dialog, -1), "[0/2] a.dll downloading");
  EXPECT_EQ(bar(dialog, PBM_GETRANGE, FALSE), 2);  // its upper end
  status.downloadQueue.setState(*a, Installing);
  status.setStage(InstallingModule, a);
  EXPECT_EQ(bar(dialog, PBM_GETPOS), 1);
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ProgressWindowDialog, ANoticeGetsTheLargerFormWhoseCloseIsOfferedWhenDone) {
  Shown shown("Maintenance", "Servers are slow\ntonight");
  auto& [report, status, window, dialog] = shown;
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(itemText(dialog, IDC_NOTICE), "Servers are slow\r\ntonight");
  EXPECT_EQ(itemText(dialog, IDC_NETWORK_STATUS), "Network Status:");
  EXPECT_NE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_CLOSE)));
  pressEnterAndEscape(dialog);

  status.setStage(Done);
  EXPECT_EQ(itemText(dialog, -1), "Done");
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_CLOSE)));
  EXPECT_TRUE(IsWindow(dialog));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_CLOSE)));
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ProgressWindowDialog, AWindowClosedEarlyNeitherHoldsUpNorFailsTheRun) {
  LogCapture log;
  Shown shown;
  auto& [report, status, window, dialog] = shown;
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_EQ(window.wait(kInfinite), kWaitObject0);
  // Its thread ended holding the readiness signal.
  status.setStage(DownloadingModule, addModule(status.downloadQueue, "a.dll", true));
  status.setProgress(50);
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_EQ(log.lines(), std::vector<std::string>(4, "observed status change"));
}

