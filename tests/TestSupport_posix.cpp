#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "tests/TestSupport.h"

namespace testing_support {

bool onWindows() { return false; }

Player::Player() : running(false) {}
Player::~Player() {}
UserSession Player::finish() { return session; }

std::string binaryDirectory() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string(); }

void startDetached(const std::vector<std::string>& argv) {
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  // Started from a child that ends at once, so the program leaves no zombie behind.
  pid_t child = fork();
  if (child == 0) {
    int nullFile = open("/dev/null", O_RDWR);
    dup2(nullFile, 0);
    dup2(nullFile, 1);
    closefrom(3);  // a test server's lifeline among them would keep it alive
    if (fork() == 0) execv(arguments[0], arguments.data());
    _exit(0);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) throw std::runtime_error("cannot start " + argv[0]);
}

struct StartedProgram::Platform { pid_t pid = -1; bool reaped = false; int status = 0; };

StartedProgram::StartedProgram(const std::string& program, const std::string& directory,
                               const std::vector<std::string>& arguments)
    : platform(new Platform), outputDirectory(makeTempDir()) {
  const std::string outputPath = outputDirectory + "/stdout", errorPath = outputDirectory + "/stderr";
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
    closefrom(3);
    setpgid(0, 0);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  // Set on both sides, so that the group exists whichever runs first.
  if (child > 0) setpgid(child, child);
  platform->pid = child;
}

StartedProgram::~StartedProgram() {
  if (platform->pid > 0 && !platform->reaped) killAll();
  delete platform;
  removeTree(outputDirectory);
}

bool StartedProgram::running() {
  if (platform->pid <= 0 || platform->reaped) return false;
  platform->reaped = waitpid(platform->pid, &platform->status, WNOHANG) == platform->pid;
  return !platform->reaped;
}

int StartedProgram::exitCode() {
  return platform->reaped && WIFEXITED(platform->status) ? WEXITSTATUS(platform->status) : -1;
}

bool StartedProgram::kill() {
  if (!running()) return false;
  ::kill(platform->pid, SIGKILL);
  platform->reaped = waitpid(platform->pid, &platform->status, 0) == platform->pid;
  return true;
}

void StartedProgram::killAll() {
  if (platform->pid <= 0) return;
  ::kill(-platform->pid, SIGKILL);
  kill();
}

bool StartedProgram::anyRunning() {
  if (platform->pid <= 0) return false;
  running();  // reaps the program itself once it has ended
  // A member that has ended may stay a zombie until init reaps it: only live ones count.
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", error)) {
    const std::string stat = readFile(entry.path().string() + "/stat");
    const std::size_t nameEnd = stat.rfind(')');
    char state = 0;
    long parent = 0, group = 0;
    if (nameEnd != std::string::npos &&
        std::sscanf(stat.c_str() + nameEnd + 1, " %c %ld %ld", &state, &parent, &group) == 3 &&
        group == platform->pid && state != 'Z' && state != 'X')
      return true;
  }
  return error && ::kill(-platform->pid, 0) == 0;
}

}  // namespace testing_support
