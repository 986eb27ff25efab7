#include <windows.h>

#include <filesystem>
#include <memory>
#include <stdexcept>

#include "app/Process.h"
#include "status/ProgressWindowIds.h"
#include "tests/TestSupport.h"

namespace testing_support {

namespace {
// Closed when it goes (closing an invalid handle does nothing).
using Handle = std::unique_ptr<void, BOOL(WINAPI*)(HANDLE)>;
// The program and its arguments as a command line. The tests pass none holding a
// double quote or ending in a backslash, where the quoting rules get intricate.
std::string commandLineOf(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& argument : argv) {
    if (argument.find('"') != std::string::npos || (!argument.empty() && argument.back() == '\\'))
      throw std::runtime_error("cannot quote " + argument);
    line += (line.empty() ? "\"" : " \"") + argument + "\"";
  }
  return line;
}
}  // namespace

bool onWindows() { return true; }

// The way the updater starts the client: nothing inherited, nothing kept.
void startDetached(const std::vector<std::string>& argv) {
  const std::string commandLine = commandLineOf(argv);
  int32_t id = 0;
  if (!startClientProgram(argv[0], commandLine, id)) throw std::runtime_error("cannot start " + commandLine);
}

std::string binaryDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::string(path, length)).parent_path().string();
}

// The job holds the program and whatever it starts, so both can be told apart
// and ended together.
struct StartedProgram::Platform { HANDLE job = nullptr, process = nullptr; };

StartedProgram::StartedProgram(const std::string& program, const std::string& directory,
                               const std::vector<std::string>& arguments)
    : platform(new Platform), outputDirectory(makeTempDir()) {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  auto output = [&](const char* name) {
    return Handle(CreateFileA((outputDirectory + name).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr), CloseHandle);
  };
  Handle outputFile = output("\\stdout"), errorFile = output("\\stderr");
  Handle nullFile(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr), CloseHandle);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nullFile.get();
  startup.hStdOutput = outputFile.get();
  startup.hStdError = errorFile.get();
  PROCESS_INFORMATION info = {};
  std::string commandLine = commandLineOf({program}) + " " + commandLineOf(arguments);
  platform->job = CreateJobObjectA(nullptr, nullptr);
  if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr,
                      directory.c_str(), &startup, &info)) {
    const std::string why = "CreateProcess failed: error " + std::to_string(GetLastError());
    errorFile.reset();  // what the caller then reads as the program's error output
    writeFile(outputDirectory + "\\stderr", why);
    return;
  }
  if (platform->job != nullptr) AssignProcessToJobObject(platform->job, info.hProcess);
  ResumeThread(info.hThread);
  CloseHandle(info.hThread);
  platform->process = info.hProcess;
}

StartedProgram::~StartedProgram() {
  if (running()) killAll();
  if (platform->process != nullptr) CloseHandle(platform->process);
  if (platform->job != nullptr) CloseHandle(platform->job);
  delete platform;
  removeTree(outputDirectory);
}

bool StartedProgram::running() {
  return platform->process != nullptr && WaitForSingleObject(platform->process, 0) == WAIT_TIMEOUT;
}

int StartedProgram::exitCode() {
  DWORD code = 0;
  return platform->process != nullptr && GetExitCodeProcess(platform->process, &code) ? static_cast<int>(code) : -1;
}

bool StartedProgram::kill() {
  if (!running()) return false;
  TerminateProcess(platform->process, 1);
  WaitForSingleObject(platform->process, INFINITE);
  return true;
}

void StartedProgram::killAll() {
  if (platform->job != nullptr) TerminateJobObject(platform->job, 1);
  kill();
}

bool StartedProgram::anyRunning() {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION accounting = {};
  if (platform->job != nullptr && QueryInformationJobObject(platform->job, JobObjectBasicAccountingInformation,
                                                            &accounting, sizeof accounting, nullptr)) {
    return accounting.ActiveProcesses > 0;
  }
  return running();
}

// The player: the desktop's windows as a person sees and answers them.
namespace {

// The texts of a window's static controls, in order.
BOOL CALLBACK collectStatic(HWND child, LPARAM parameter) {
  char className[32] = "", text[1024] = "";
  GetClassNameA(child, className, sizeof className);
  GetWindowTextA(child, text, sizeof text);
  if (lstrcmpiA(className, "Static") == 0 && text[0] != '\0')
    reinterpret_cast<std::vector<std::string>*>(parameter)->push_back(text);
  return TRUE;
}

// A visible dialog of the title, or nullptr.
HWND visibleDialog(const char* title) {
  HWND dialog = FindWindowA("#32770", title);
  return dialog != nullptr && IsWindowVisible(dialog) ? dialog : nullptr;
}

// Watches the desktop while the program runs and answers its windows.
void actAsPlayer(UserSession* session, std::atomic<bool>* running) {
  HWND closed = nullptr;
  while (*running) {
    if (HWND errorBox = visibleDialog("Error")) {
      std::vector<std::string> texts;
      EnumChildWindows(errorBox, collectStatic, reinterpret_cast<LPARAM>(&texts));
      session->errorBoxes.push_back(texts.empty() ? std::string() : texts.back());
      PostMessageA(errorBox, WM_COMMAND, IDOK, 0);
      Sleep(200);
      continue;
    }
    if (HWND progress = visibleDialog("Updater")) {
      // The status line is the dialog's first static control.
      std::vector<std::string> statics;
      EnumChildWindows(progress, collectStatic, reinterpret_cast<LPARAM>(&statics));
      std::string status = statics.empty() ? std::string() : statics.front();
      if (!status.empty() && (session->statusTexts.empty() || session->statusTexts.back() != status))
        session->statusTexts.push_back(status);
      HWND close = GetDlgItem(progress, IDC_CLOSE);
      if (close != nullptr && IsWindowEnabled(close) && progress != closed) {
        closed = progress;
        session->pressedClose = true;
        PostMessageA(progress, WM_COMMAND, MAKEWPARAM(IDC_CLOSE, BN_CLICKED), reinterpret_cast<LPARAM>(close));
      }
    }
    Sleep(20);
  }
}
}  // namespace

Player::Player() : running(true), watcher(actAsPlayer, &session, &running) {}

Player::~Player() { finish(); }

UserSession Player::finish() {
  running = false;
  if (watcher.joinable()) watcher.join();
  return session;
}

}  // namespace testing_support
