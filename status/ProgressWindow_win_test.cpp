#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "status/ProgressWindow.h"
#include "status/ProgressWindowIds.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
Module* addModule(UpdateStatus& status, const char* name, bool critical) {
  return status.downloadQueue.add(
      new Module(name, "1.0", nullptr, nullptr, critical ? "true" : "false", nullptr, nullptr));
}

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
  DWORD process;
  bool ownProcess;
  std::string caption;
  HWND found;
};

BOOL CALLBACK matchWindow(HWND window, LPARAM parameter) {
  Search* search = reinterpret_cast<Search*>(parameter);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if ((process == search->process) == search->ownProcess && className(window) == "#32770" &&
      windowText(window) == search->caption) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

// A top-level dialog with the caption, of this process or of another one.
HWND findDialog(const std::string& caption, bool ownProcess = true) {
  Search search = {GetCurrentProcessId(), ownProcess, caption, nullptr};
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

// Saves the dialog as the user sees it into the build's artifacts folder: drawn
// afresh, given a moment to reach the screen, read back. Nothing is asserted on it.
void saveScreenshot(HWND dialog, const std::string& name) {
  RECT frame;
  GetWindowRect(dialog, &frame);
  const LONG width = frame.right - frame.left, height = frame.bottom - frame.top;
  BITMAPINFOHEADER info = {sizeof info, width, height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  GdiFlush();
  const DWORD imageSize = static_cast<DWORD>(width * height * 4);
  // Opaque: viewers read the fourth byte of a 32-bit bitmap as alpha.
  for (DWORD i = 3; i < imageSize; i += 4) static_cast<BYTE*>(bits)[i] = 0xFF;
  BITMAPFILEHEADER header = {0x4D42, 0, 0, 0, sizeof header + sizeof info};
  header.bfSize = header.bfOffBits + imageSize;
  std::filesystem::path folder = std::filesystem::path(binaryDirectory()) / "artifacts";
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / (name + ".bmp"), std::ios::binary);
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out.write(static_cast<const char*>(bits), imageSize);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// The dialog template (DLGTEMPLATEEX) in the program's resources, as one line
// for the dialog and one per control: "x y width height id class "text" style exstyle".
std::vector<std::string> templateOf(int id) {
  HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id),
                                MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
  if (found == nullptr) return {"missing"};
  const BYTE* base = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  const BYTE* at = base;
  auto word = [&] { WORD v; memcpy(&v, at, 2); at += 2; return v; };
  auto dword = [&] { DWORD v; memcpy(&v, at, 4); at += 4; return v; };
  auto hex = [](unsigned long v) { char t[16]; snprintf(t, sizeof t, "0x%lX", v); return std::string(t); };
  auto text = [&] { std::string v; for (WORD c = word(); c != 0; c = word()) v += static_cast<char>(c); return v; };
  // A name, or an ordinal: the predefined control classes come as ordinals.
  auto nameOrOrdinal = [&]() -> std::string {
    WORD first;
    memcpy(&first, at, 2);
    if (first != 0xFFFF) return text();
    word();
    WORD ordinal = word();
    return ordinal == 0x80 ? "button" : ordinal == 0x81 ? "edit" : ordinal == 0x82 ? "static" : "#" + std::to_string(ordinal);
  };
  // Fields in reading order, one statement each: operands of + are unsequenced.
  std::string line;
  auto put = [&](const std::string& field) { line += (line.empty() ? "" : " ") + field; };
  auto rect = [&] {
    for (int i = 0; i < 4; ++i) put(std::to_string(static_cast<short>(word())));
  };
  put(std::to_string(word()));  // version
  put(hex(word()));             // extended-template signature
  dword();                      // help id
  put(hex(dword()));            // extended style
  put(hex(dword()));            // style
  WORD count = word();
  rect();
  put("menu \"" + nameOrOrdinal() + "\"");
  put("class \"" + nameOrOrdinal() + "\"");
  put("\"" + text() + "\"");
  put(std::to_string(word()) + "pt");  // points
  put(std::to_string(word()));         // weight
  put(std::to_string(*at++));          // italic
  put(std::to_string(*at++));          // character set
  put(text());                         // face
  std::vector<std::string> lines = {line};
  for (WORD i = 0; i < count; ++i) {
    while ((at - base) % 4 != 0) ++at;
    line.clear();
    dword();  // help id
    DWORD extended = dword();
    DWORD style = dword();
    rect();
    put(std::to_string(static_cast<int>(dword())));
    std::string kind = nameOrOrdinal();
    for (char& c : kind) c = static_cast<char>(tolower(c));
    put(kind);
    put("\"" + nameOrOrdinal() + "\"");
    put(hex(style));
    put(hex(extended));
    lines.push_back(line);
    at += word();  // creation data
  }
  return lines;
}

// Watches for the error box of another process, notes its text, and presses OK.
class ErrorBoxDismisser {
 public:
  ErrorBoxDismisser()
      : worker([this] {
          while (!stop) {
            HWND box = findDialog("Error", false);
            if (box != nullptr) {
              HWND owner = GetWindow(box, GW_OWNER);
              ownerCaption = owner != nullptr ? windowText(owner) : "";
              EnumChildWindows(box, noteText, reinterpret_cast<LPARAM>(&texts));
              PostMessageA(box, WM_COMMAND, IDOK, 0);
              return;
            }
            Sleep(10);
          }
        }) {}
  ~ErrorBoxDismisser() { finish(); }
  // After this the notes can be read.
  void finish() {
    stop = true;
    if (worker.joinable()) worker.join();
  }
  static BOOL CALLBACK noteText(HWND window, LPARAM parameter) {
    reinterpret_cast<std::vector<std::string>*>(parameter)->push_back(windowText(window));
    return TRUE;
  }
  std::atomic<bool> stop{false};
  std::string ownerCaption;
  std::vector<std::string> texts;
  std::thread worker;
};
}  // namespace

TEST(ProgressWindowDialog, TemplatesHoldEveryControlAsLaidOut) {
  const std::string head = "1 0xFFFF ", font = " menu \"\" class \"\" \"Updater\" 8pt 0 0 1 MS Sans Serif";
  const std::string line = "7 6 233 8 -1 static \"Updater Starting\" 0x50020000 0x0";
  const std::string bar = "7 34 233 14 " + std::to_string(IDC_PROGRESS_BAR) + " msctls_progress32 \"Progress1\" 0x50800000 0x0";
  EXPECT_EQ(templateOf(IDD_PROGRESS), (std::vector<std::string>{head + "0x4 0x10C80844 0 0 247 55" + font, line, bar}));
  EXPECT_EQ(templateOf(IDD_PROGRESS_NOTICE),
            (std::vector<std::string>{
                head + "0xC 0x10C80844 0 0 247 150" + font, line, bar,
                "7 58 233 8 " + std::to_string(IDC_NETWORK_STATUS) + " static \"Network Status:\" 0x50020000 0x0",
                "7 72 233 46 " + std::to_string(IDC_NOTICE) + " edit \"\" 0x50A00804 0x0",
                "98 127 47 16 " + std::to_string(IDC_CLOSE) + " button \"Close\" 0x58010001 0x0"}));
  EXPECT_NE(FindResourceExA(nullptr, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_UPDATER),
                            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            nullptr);
}

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

  Module* a = addModule(status, "a.dll", true);
  Module* b = addModule(status, "b.dll", true);
  Module* c = addModule(status, "c.dat", false);
  a->state = Fetching;
  status.setStage(DownloadingModule, a);
  EXPECT_EQ(statusLine(dialog), "[0/2] a.dll downloading");
  EXPECT_EQ(barRange(dialog), std::make_pair(0, 2));
  EXPECT_EQ(barPosition(dialog), 0);
  a->state = Installing;
  status.setStage(InstallingModule, a);
  EXPECT_EQ(statusLine(dialog), "[1/2] a.dll installed");
  EXPECT_EQ(barPosition(dialog), 1);
  saveScreenshot(dialog, "progress-dialog-101");
  a->state = Complete;
  b->state = Complete;
  c->state = Fetching;
  status.setStage(DownloadingModule, c);
  EXPECT_EQ(statusLine(dialog), "[2/2] c.dat downloading");
  EXPECT_EQ(barPosition(dialog), 2);
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ProgressWindowDialog, AQueueWithoutCriticalModulesLeavesTheBarEmpty) {
  Shown shown;
  auto& [report, status, window] = shown;
  Module* x = addModule(status, "x.dat", false);
  status.setStage(DownloadingModule, x);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(statusLine(dialog), "[0/0] x.dat downloading");
  EXPECT_EQ(barRange(dialog), std::make_pair(0, 0));
  EXPECT_EQ(barPosition(dialog), 0);
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
  saveScreenshot(dialog, "progress-dialog-103");
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_CLOSE)));
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_FALSE(IsWindow(dialog));
}

TEST(ProgressWindowDialog, ADownServiceOffersCloseAndTheRunWaitsForTheUser) {
  Shown shown("Down", "Back at six");
  auto& [report, status, window] = shown;
  status.setStage(NetworkUnavailable);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(statusLine(dialog), "Network Unavailable");
  EXPECT_TRUE(closeEnabled(dialog));
  EXPECT_EQ(window.wait(0), kWaitTimeout);
  // The close box.
  PostMessageA(dialog, WM_CLOSE, 0, 0);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
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
  Module* a = addModule(status, "a.dll", true);
  status.setStage(DownloadingModule, a);
  status.setProgress(50);
  status.setStage(Done);
  EXPECT_EQ(window.waitForClose(), kWaitObject0);
  EXPECT_EQ(log.lines(), std::vector<std::string>(4, "observed status change"));
}

TEST(ProgressWindowDialogDeathTest, ShowsAnErrorInABoxAndEndsTheProgramWithCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto failingRun = [] {
    Shown shown;
    auto& [report, status, window] = shown;
    status.setStage(FindingInstalledModules);
    status.setError("Error: fetch: Server not responding");
  };
  ErrorBoxDismisser dismisser;
  EXPECT_EXIT(failingRun(), ::testing::ExitedWithCode(1), "");
  dismisser.finish();
  EXPECT_EQ(dismisser.ownerCaption, "Updater");
  EXPECT_NE(std::find(dismisser.texts.begin(), dismisser.texts.end(), "Error: fetch: Server not responding"),
            dismisser.texts.end());
}
