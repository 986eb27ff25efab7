#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/DeferredScript.h"
#include "app/Process.h"

namespace {
bool isExecutableFile(const std::string& path) {
  struct stat information;
  return stat(path.c_str(), &information) == 0 && S_ISREG(information.st_mode) && access(path.c_str(), X_OK) == 0;
}

// A name without "/" is looked for in the working directory first, as Windows
// does, then along PATH. Empty when nothing fits.
std::string resolveProgram(const std::string& program) {
  if (program.empty()) return std::string();
  if (program.find('/') != std::string::npos) return program;
  if (isExecutableFile("./" + program)) return "./" + program;
  const char* path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
  std::string::size_type begin = 0;
  while (begin <= directories.size()) {
    std::string::size_type end = directories.find(':', begin);
    if (end == std::string::npos) end = directories.size();
    std::string directory = directories.substr(begin, end - begin);
    std::string candidate = (directory.empty() ? std::string(".") : directory) + "/" + program;
    if (isExecutableFile(candidate)) return candidate;
    begin = end + 1;
  }
  return std::string();
}

class Pipe {
 public:
  Pipe() : ends{-1, -1} { ok = pipe2(ends, O_CLOEXEC) == 0; }
  ~Pipe() {
    closeRead();
    closeWrite();
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  void closeRead() {
    if (ends[0] >= 0) close(ends[0]);
    ends[0] = -1;
  }
  void closeWrite() {
    if (ends[1] >= 0) close(ends[1]);
    ends[1] = -1;
  }
  bool ok;
  int ends[2];
};

// What the two children report through the pipe; each report is one atomic write.
struct Report {
  int32_t kind;  // kStarted: value is the program's process id; kExecFailed: value is errno
  int32_t value;
};
constexpr int32_t kStarted = 1;
constexpr int32_t kExecFailed = 2;

void report(int fd, int32_t kind, int32_t value) {
  Report message = {kind, value};
  ssize_t written = write(fd, &message, sizeof message);
  (void)written;
}

// Only async-signal-safe calls from here on: the parent may have other threads.
[[noreturn]] void runProgram(const char* path, char* const arguments[], int reportFd, bool detach, long maxFd) {
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction defaults = {};
  defaults.sa_handler = SIG_DFL;
  sigaction(SIGPIPE, &defaults, nullptr);
  if (detach) {
    int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
  }
  // The updater's log, sockets and listening port must not stay open in a
  // program that outlives it.
  // One call where the kernel has it: the loop costs a call per possible descriptor.
  const unsigned kept = static_cast<unsigned>(reportFd);
  const bool ranged = kept < 3 ? close_range(3, ~0u, 0) == 0
                               : (kept == 3 || close_range(3, kept - 1, 0) == 0) && close_range(kept + 1, ~0u, 0) == 0;
  for (long fd = 3; !ranged && fd < maxFd; ++fd) {
    if (fd != reportFd) close(static_cast<int>(fd));
  }
  execv(path, arguments);
  report(reportFd, kExecFailed, errno);
  _exit(127);
}

// Starts the program through an intermediate child that ends at once, so the
// program is nobody's child to wait for and never lingers as a zombie.
bool startOrphan(const std::string& path, const std::vector<std::string>& arguments, bool detach,
                 int32_t& processId) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  long maxFd = sysconf(_SC_OPEN_MAX);
  if (maxFd < 0 || maxFd > 65536) maxFd = 65536;

  Pipe reports;
  if (!reports.ok) return false;
  pid_t child = fork();
  if (child < 0) return false;
  if (child == 0) {
    close(reports.ends[0]);
    if (detach) setsid();
    pid_t program = fork();
    if (program == 0) runProgram(path.c_str(), argv.data(), reports.ends[1], detach, maxFd);
    if (program > 0) report(reports.ends[1], kStarted, static_cast<int32_t>(program));
    _exit(program > 0 ? 0 : 1);
  }
  reports.closeWrite();
  bool started = false;
  int error = 0;
  Report message;
  for (;;) {
    ssize_t length = read(reports.ends[0], &message, sizeof message);
    if (length < 0 && errno == EINTR) continue;
    if (length != static_cast<ssize_t>(sizeof message)) break;
    if (message.kind == kStarted) {
      started = true;
      processId = message.value;
    } else if (message.kind == kExecFailed) {
      error = message.value;
    }
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  errno = error;
  return started && error == 0;
}
}  // namespace

bool startClientProgram(const std::string& program, const std::string&, int32_t& processId) {
  std::string path = resolveProgram(program);
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  return startOrphan(path, {program}, false, processId);
}

bool startDeferredScript(int32_t& processId) {
  return startOrphan("/bin/sh", {"sh", kDeferredScriptName}, true, processId);
}
