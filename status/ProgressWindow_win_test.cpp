#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>

#include "status/ProgressWindow.h"
#include "status/ProgressWindowIds.h"
#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
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

std::string windowText(HWND window) {
  char text[1024] = "";
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::string className(HWND window) {
  char name[256] = "";
  GetClassNameA(window, name, sizeof name);
  return name;
}

struct Search {
  std::string caption;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
  Search* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == GetCurrentProcessId() && className(window) == "#32770" &&
      windowText(window) == search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// A top-level dialog of this process with the caption.
HWND findDialog(const std::string& caption) {
  Search search = {caption, nullptr};
  EnumWindows(matchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string statusLine(HWND dialog) { return windowText(GetDlgItem(dialog, -1)); }

int barPosition(HWND dialog) {
  return static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0));
}

std::pair<int, int> barRange(HWND dialog) {
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  return {static_cast<int>(SendMessageA(bar, PBM_GETRANGE, TRUE, 0)),
          static_cast<int>(SendMessageA(bar, PBM_GETRANGE, FALSE, 0))};
}

bool closeEnabled(HWND dialog) { return IsWindowEnabled(GetDlgItem(dialog, IDC_CLOSE)) != FALSE; }

// Presses Enter and Esc in the dialog, then waits until the keys have been
// through its message loop.
void pressEnterAndEscape(HWND dialog) {
  HWND bar = GetDlgItem(dialog, IDC_PROGRESS_BAR);
  int marker = barPosition(dialog) + 1;
  for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
    PostMessageA(dialog, WM_KEYDOWN, key, 1);
    PostMessageA(dialog, WM_KEYUP, key, 0xC0000001);
  }
  // Posted messages are handled in order: once the marker is in, so are the keys.
  PostMessageA(bar, PBM_SETPOS, marker, 0);
  while (barPosition(dialog) != marker) Sleep(1);
  SendMessageA(bar, PBM_SETPOS, marker - 1, 0);
}

}  // namespace

TEST(ProgressWindowDialog, ShowsTheRunsStepsAndClosesItselfWhenDone) {
  Shown shown("Up", "All fine");
  auto& [report, status, window] = shown;
  status.setStage(FindingInstalledModules);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(statusLine(dialog), "Finding Installed Modules");
  EXPECT_EQ(GetDlgItem(dialog, IDC_NOTICE), nullptr);
  EXPECT_EQ(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetClassLongPtrA(dialog, GCLP_HICON), 0u);
  pressEnterAndEscape(dialog);  // do nothing in the small form either
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(statusLine(dialog), "Finding Installed Modules");

  Module* a = addModule(status.downloadQueue, "a.dll", true);
  Module* b = addModule(status.downloadQueue, "b.dll", true);
  Module* c = addModule(status.downloadQueue, "c.dat", false);
  status.downloadQueue.setState(*a, Fetching);
  status.setStage(DownloadingModule, a);
  EXPECT_EQ(statusLine(dialog), "[0/2] a.dll downloading");
  EXPECT_EQ(barRange(dialog), std::make_pair(0, 2));
  EXPECT_EQ(barPosition(dialog), 0);
  status.downloadQueue.setState(*a, Installing);
  status.setStage(InstallingModule, a);
  EXPECT_EQ(statusLine(dialog), "[1/2] a.dll installed");
  EXPECT_EQ(barPosition(dialog), 1);
  status.downloadQueue.setState(*a, Complete);
  status.downloadQueue.setState(*b, Complete);
  status.downloadQueue.setState(*c, Fetching);
  status.setStage(DownloadingModule, c);
  EXPECT_EQ(statusLine(dialog), "[2/2] c.dat downloading");
  EXPECT_EQ(barPosition(dialog), 2);
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ProgressWindowDialog, ANoticeGetsTheLargerFormWhoseCloseIsOfferedWhenDone) {
  Shown shown("Maintenance", "Servers are slow\ntonight");
  auto& [report, status, window] = shown;
  status.setStage(FindingInstalledModules);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(windowText(GetDlgItem(dialog, IDC_NOTICE)), "Servers are slow\r\ntonight");
  EXPECT_EQ(windowText(GetDlgItem(dialog, IDC_NETWORK_STATUS)), "Network Status:");
  EXPECT_NE(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_FALSE(closeEnabled(dialog));
  pressEnterAndEscape(dialog);
  EXPECT_TRUE(IsWindow(dialog));

  status.setStage(UpdatingInstalledModulesList);
  status.setStage(Done);
  EXPECT_EQ(statusLine(dialog), "Done");
  EXPECT_TRUE(closeEnabled(dialog));
  EXPECT_TRUE(IsWindow(dialog));
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_CLOSE)));
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ProgressWindowDialog, AWindowClosedEarlyNeitherHoldsUpNorFailsTheRun) {
  LogCapture log;
  Shown shown;
  auto& [report, status, window] = shown;
  status.setStage(FindingInstalledModules);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  ASSERT_EQ(window.wait(kInfinite), kWaitObject0);
  // Its thread ended holding the readiness signal.
  Module* a = addModule(status.downloadQueue, "a.dll", true);
  status.setStage(DownloadingModule, a);
  status.setProgress(50);
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_EQ(log.lines(), std::vector<std::string>(4, "observed status change"));
}

