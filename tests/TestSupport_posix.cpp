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
                         unsigned timeoutSeconds, const std::vector<std::string>& arguments) {
  ProcessResult result;
  std::string outputDir = makeTempDir();
  std::string outputPath = outputDir + "/stdout";
  std::string errorPath = outputDir + "/stderr";
  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    int outputFile = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int errorFile = open(errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int nullFile = open("/dev/null", O_RDWR);
    if (outputFile < 0 || errorFile < 0 || nullFile < 0 || chdir(directory.c_str()) != 0) _exit(126);
    dup2(nullFile, 0);
    dup2(outputFile, 1);
    dup2(errorFile, 2);
    // A new process group, so that a timed-out program is ended with its children.
    setpgid(0, 0);
    execv(program.c_str(), argv.data());
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
  result.standardOutput = readFile(outputPath);
  result.standardError = readFile(errorPath);
  removeTree(outputDir);
  return result;
}

}  // namespace testing_support
