#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <algorithm>
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

// Saves the dialog as drawn into the build's artifacts folder.
void saveScreenshot(HWND dialog, const std::string& name) {
  RECT frame;
  GetWindowRect(dialog, &frame);
  int width = frame.right - frame.left;
  int height = frame.bottom - frame.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  // Drawn afresh, given a moment to reach the screen, and read back from it as
  // the user sees it. Only an artefact: nothing is asserted on it.
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  Sleep(500);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  GdiFlush();
  // Opaque: viewers read the fourth byte of a 32-bit bitmap as alpha.
  BYTE* pixels = static_cast<BYTE*>(bits);
  for (int i = 0; i < width * height; ++i) pixels[i * 4 + 3] = 0xFF;
  std::filesystem::path folder = std::filesystem::path(binaryDirectory()) / "artifacts";
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / (name + ".bmp"), std::ios::binary);
  DWORD imageSize = static_cast<DWORD>(width) * height * 4;
  BITMAPFILEHEADER header = {};
  header.bfType = 0x4D42;
  header.bfOffBits = sizeof header + sizeof info.bmiHeader;
  header.bfSize = header.bfOffBits + imageSize;
  out.write(reinterpret_cast<const char*>(&header), sizeof header);
  out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
  out.write(static_cast<const char*>(bits), imageSize);
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// Reads a dialog template (DLGTEMPLATEEX) out of the program's resources.
class TemplateReader {
 public:
  explicit TemplateReader(int id) {
    HRSRC found = FindResourceExA(nullptr, MAKEINTRESOURCEA(5), MAKEINTRESOURCEA(id),
                                  MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    if (found != nullptr) at = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
  }
  bool present() const { return at != nullptr; }
  WORD word() {
    WORD value;
    memcpy(&value, at, 2);
    at += 2;
    return value;
  }
  DWORD dword() {
    DWORD value;
    memcpy(&value, at, 4);
    at += 4;
    return value;
  }
  BYTE byte() { return *at++; }
  std::string text() {
    std::string value;
    for (WORD c = word(); c != 0; c = word()) value += static_cast<char>(c);
    return value;
  }
  // A name or an ordinal; the predefined control classes come as ordinals.
  std::string nameOrOrdinal() {
    WORD first;
    memcpy(&first, at, 2);
    if (first != 0xFFFF) return text();
    word();
    switch (WORD ordinal = word()) {
      case 0x80:
        return "button";
      case 0x81:
        return "edit";
      case 0x82:
        return "static";
      default:
        return "#" + std::to_string(ordinal);
    }
  }
  void alignToDword(const BYTE* base) {
    while ((at - base) % 4 != 0) ++at;
  }
  const BYTE* at = nullptr;
};

struct Control {
  int id;
  std::string kind;
  std::string text;
  DWORD style;
  short x, y, width, height;
  bool operator==(const Control& o) const {
    return id == o.id && kind == o.kind && text == o.text && style == o.style && x == o.x && y == o.y &&
           width == o.width && height == o.height;
  }
};

std::ostream& operator<<(std::ostream& out, const Control& c) {
  return out << c.id << " " << c.kind << " \"" << c.text << "\" 0x" << std::hex << c.style << std::dec << " " << c.x
             << "," << c.y << " " << c.width << "x" << c.height;
}

void expectTemplate(int id, DWORD extendedStyle, short height, const std::vector<Control>& controls) {
  SCOPED_TRACE("dialog " + std::to_string(id));
  TemplateReader reader(id);
  ASSERT_TRUE(reader.present());
  const BYTE* base = reader.at;
  EXPECT_EQ(reader.word(), 1);       // version
  EXPECT_EQ(reader.word(), 0xFFFF);  // extended template
  reader.dword();                    // help id
  EXPECT_EQ(reader.dword(), extendedStyle);
  EXPECT_EQ(reader.dword(), 0x10C80844u);
  WORD count = reader.word();
  EXPECT_EQ(static_cast<short>(reader.word()), 0);
  EXPECT_EQ(static_cast<short>(reader.word()), 0);
  EXPECT_EQ(static_cast<short>(reader.word()), 247);
  EXPECT_EQ(static_cast<short>(reader.word()), height);
  EXPECT_EQ(reader.nameOrOrdinal(), "");  // no menu
  EXPECT_EQ(reader.nameOrOrdinal(), "");  // the standard dialog class
  EXPECT_EQ(reader.text(), "Updater");
  EXPECT_EQ(reader.word(), 8);  // points
  EXPECT_EQ(reader.word(), 0);  // weight
  EXPECT_EQ(reader.byte(), 0);  // not italic
  EXPECT_EQ(reader.byte(), 1);  // character set
  EXPECT_EQ(reader.text(), "MS Sans Serif");
  std::vector<Control> found;
  for (WORD i = 0; i < count; ++i) {
    reader.alignToDword(base);
    Control control;
    reader.dword();  // help id
    EXPECT_EQ(reader.dword(), 0u);
    control.style = reader.dword();
    control.x = static_cast<short>(reader.word());
    control.y = static_cast<short>(reader.word());
    control.width = static_cast<short>(reader.word());
    control.height = static_cast<short>(reader.word());
    control.id = static_cast<int>(reader.dword());
    control.kind = reader.nameOrOrdinal();
    for (char& c : control.kind) c = static_cast<char>(tolower(c));
    control.text = reader.nameOrOrdinal();
    reader.at += reader.word();  // creation data
    found.push_back(control);
  }
  EXPECT_EQ(found, controls);
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
  const Control line = {-1, "static", "Updater Starting", 0x50020000, 7, 6, 233, 8};
  const Control bar = {IDC_PROGRESS_BAR, "msctls_progress32", "Progress1", 0x50800000, 7, 34, 233, 14};
  expectTemplate(IDD_PROGRESS, 0x4, 55, {line, bar});
  expectTemplate(IDD_PROGRESS_NOTICE, 0xC, 150,
                 {line, bar, {IDC_NETWORK_STATUS, "static", "Network Status:", 0x50020000, 7, 58, 233, 8},
                  {IDC_NOTICE, "edit", "", 0x50A00804, 7, 72, 233, 46},
                  {IDC_CLOSE, "button", "Close", 0x58010001, 98, 127, 47, 16}});
  EXPECT_NE(FindResourceExA(nullptr, MAKEINTRESOURCEA(14), MAKEINTRESOURCEA(IDI_UPDATER),
                            MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
            nullptr);
}

TEST(ProgressWindowDialog, ShowsTheRunsStepsAndClosesItselfWhenDone) {
  MaintenanceReport report = reportOf("Up", "All fine");
  UpdateStatus status;
  ProgressWindow window;
  window.setReport(&report);
  window.start();
  status.addObserver(&window);
  status.setStage(FindingInstalledModules);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(statusLine(dialog), "Finding Installed Modules");
  EXPECT_EQ(GetDlgItem(dialog, IDC_NOTICE), nullptr);
  EXPECT_EQ(GetWindowLongA(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  EXPECT_NE(GetClassLongPtrA(dialog, GCLP_HICON), 0u);

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
  UpdateStatus status;
  ProgressWindow window;
  window.start();
  status.addObserver(&window);
  Module* x = addModule(status, "x.dat", false);
  status.setStage(DownloadingModule, x);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(statusLine(dialog), "[0/0] x.dat downloading");
  EXPECT_EQ(barRange(dialog), std::make_pair(0, 0));
  EXPECT_EQ(barPosition(dialog), 0);
}

TEST(ProgressWindowDialog, ANoticeGetsTheLargerFormWhoseCloseIsOfferedWhenDone) {
  MaintenanceReport report = reportOf("Maintenance", "Servers are slow\ntonight");
  UpdateStatus status;
  ProgressWindow window;
  window.setReport(&report);
  window.start();
  status.addObserver(&window);
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

TEST(ProgressWindowDialog, EnterAndEscapeDoNothingInTheSmallForm) {
  UpdateStatus status;
  ProgressWindow window;
  window.start();
  status.addObserver(&window);
  status.setStage(FindingInstalledModules);
  HWND dialog = findDialog("Updater");
  ASSERT_NE(dialog, nullptr);
  pressEnterAndEscape(dialog);
  EXPECT_TRUE(IsWindow(dialog));
  EXPECT_EQ(statusLine(dialog), "Finding Installed Modules");
}

TEST(ProgressWindowDialog, ADownServiceOffersCloseAndTheRunWaitsForTheUser) {
  MaintenanceReport report = reportOf("Down", "Back at six");
  UpdateStatus status;
  ProgressWindow window;
  window.setReport(&report);
  window.start();
  status.addObserver(&window);
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
  UpdateStatus status;
  ProgressWindow window;
  window.start();
  status.addObserver(&window);
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
    UpdateStatus status;
    ProgressWindow window;
    window.start();
    status.addObserver(&window);
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
