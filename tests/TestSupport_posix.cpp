#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/TestSupport.h"

namespace testing_support {

bool onWindows() { return false; }

std::string binaryDirectory() {
  return std::filesystem::read_symlink("/proc/self/exe").parent_path().string();
}

ProcessResult runProgram(const std::string& program, const std::string& directory,
                         unsigned timeoutSeconds) {
  ProcessResult result;
  std::string errorPath = makeTempDir() + "/stderr";
  pid_t child = fork();
  if (child == 0) {
    int errorFile = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int nullFile = open("/dev/null", O_RDWR);
    if (errorFile < 0 || nullFile < 0 || chdir(directory.c_str()) != 0) _exit(126);
    dup2(nullFile, 0);
    dup2(errorFile, 2);
    // A new process group, so that a timed-out program is ended with its children.
    setpgid(0, 0);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
  int status = 0;
  while (waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      result.timedOut = true;
      kill(-child, SIGKILL);
      kill(child, SIGKILL);
      waitpid(child, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
  result.standardError = readFile(errorPath);
  removeTree(std::filesystem::path(errorPath).parent_path().string());
  return result;
}

}  // namespace testing_support
