#include <windows.h>

#include <filesystem>

#include "tests/TestSupport.h"

namespace testing_support {

namespace {
struct Handle {
  HANDLE value;
  explicit Handle(HANDLE h) : value(h) {}
  ~Handle() {
    if (value != nullptr && value != INVALID_HANDLE_VALUE) CloseHandle(value);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
};
// One argument as the runtime library's command-line parser reads it back.
std::string quoted(const std::string& argument) {
  std::string text = "\"";
  std::size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    // Backslashes count as escapes only before a quote.
    text.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    text += c;
  }
  text.append(2 * backslashes, '\\');
  return text + "\"";
}
}  // namespace

bool onWindows() { return true; }

std::string binaryDirectory() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::filesystem::path(std::string(path, length)).parent_path().string();
}

ProcessResult runProgram(const std::string& program, const std::string& directory,
                         unsigned timeoutSeconds, const std::vector<std::string>& arguments) {
  ProcessResult result;
  std::string errorDir = makeTempDir();
  std::string outputPath = errorDir + "\\stdout";
  std::string errorPath = errorDir + "\\stderr";
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  {
    Handle outputFile(CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Handle errorFile(CreateFileA(errorPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    Handle nullFile(CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, 0, nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullFile.value;
    startup.hStdOutput = outputFile.value;
    startup.hStdError = errorFile.value;
    PROCESS_INFORMATION info = {};
    std::string commandLine = quoted(program);
    for (const std::string& argument : arguments) commandLine += " " + quoted(argument);
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, directory.c_str(),
                        &startup, &info)) {
      result.standardError = "CreateProcess failed";
      return result;
    }
    Handle process(info.hProcess);
    Handle thread(info.hThread);
    if (WaitForSingleObject(info.hProcess, timeoutSeconds * 1000) == WAIT_TIMEOUT) {
      result.timedOut = true;
      TerminateProcess(info.hProcess, 1);
      WaitForSingleObject(info.hProcess, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    result.exitCode = static_cast<int>(code);
  }
  result.standardOutput = readFile(outputPath);
  result.standardError = readFile(errorPath);
  removeTree(errorDir);
  return result;
}

}  // namespace testing_support
