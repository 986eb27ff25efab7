#include <windows.h>

#include <vector>

#include "app/DeferredScript.h"
#include "app/Process.h"

namespace {
class HandleOwner {
 public:
  explicit HandleOwner(HANDLE handle) : handle(handle) {}
  ~HandleOwner() {
    if (handle != nullptr) CloseHandle(handle);
  }
  HandleOwner(const HandleOwner&) = delete;
  HandleOwner& operator=(const HandleOwner&) = delete;

 private:
  HANDLE handle;
};

bool startCommandLine(const std::string& commandLine, int32_t& processId) {
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION information = {};
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &information)) {
    return false;
  }
  // Nothing waits for the process: its handles are not kept.
  HandleOwner process(information.hProcess);
  HandleOwner thread(information.hThread);
  processId = static_cast<int32_t>(information.dwProcessId);
  return true;
}
}  // namespace

bool startClientProgram(const std::string&, const std::string& commandLine, int32_t& processId) {
  return startCommandLine(commandLine, processId);
}

bool startDeferredScript(int32_t& processId) { return startCommandLine(deferredScriptCommand(), processId); }
