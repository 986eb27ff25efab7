#pragma once
// Shared helpers for the unit tests and the tests that run the real program.
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "support/Exceptions.h"

namespace testing_support {

// Gives the test process a fresh working directory holding its update.log.
void startTestProcess();
// Leaves and removes it.
void finishTestProcess();

// True in the Windows build (which runs under Wine here).
bool onWindows();

// Paths are UTF-8 texts, as module names are.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);
// The files' contents as one text, "|" between them and "-" for a file that is missing.
std::string contentsOf(const std::vector<std::string>& paths);
// A fresh empty directory; the caller removes it with removeTree.
std::string makeTempDir();
void removeTree(const std::string& path);
// The folder holding the test executable, where the built programs lie too.
std::string binaryDirectory();
// A built program of this build by its base name ("updater" gives updater.exe on Windows).
std::string builtProgram(const std::string& baseName);
// Bytes of every value in no short period: a body to send and compare, where a part
// repeated or left out shows.
std::string testBytes(std::size_t length);
// Text with every CR LF turned into LF.
std::string withoutCarriageReturns(const std::string& text);
// The inner text inside depth nested elements.
std::string nestedXml(int depth, const std::string& inner);
// The lines of the text, or its fields between separators; a last one left empty is dropped.
std::vector<std::string> splitLines(const std::string& text, char separator = '\n');
// The text of a settings file holding the key/value pairs, in their order.
template <typename Pairs>
std::string settingsXml(const Pairs& settings) {
  std::string text = "<UpdaterIni>\n";
  for (const auto& [key, value] : settings) text += "<" + key + ">" + value + "</" + key + ">\n";
  return text + "</UpdaterIni>\n";
}

// The text of the exception of that kind the action throws; empty when it throws none.
template <typename Exception = IOException>
std::string failureText(const std::function<void()>& action) {
  try {
    action();
  } catch (const Exception& e) {
    return e;
  }
  return std::string();
}

// Lines match one by one: exactly, or as a regular expression after "~".
void expectLog(const std::vector<std::string>& actual, const std::vector<std::string>& expected);

// Polls the condition every few milliseconds until it holds or the seconds
// have passed: the one wait for what another process or thread does on its own.
bool eventually(const std::function<bool()>& condition, double seconds = 30);
// Whether a file holds a whole line (another process wrote it).
bool hasLine(const std::string& path);

// Runs the test in a fresh working directory of its own and goes back afterwards.
class ScopedWorkingDirectory {
 public:
  ScopedWorkingDirectory();
  ~ScopedWorkingDirectory();
  const std::string& path() const { return dir; }

 private:
  std::string previous, dir;
};

// Reads what the process has logged since the capture was made.
class LogCapture {
 public:
  LogCapture();
  // Lines (LF-separated, CR removed) written since construction.
  std::vector<std::string> lines() const;
  std::string text() const;

 private:
  std::size_t start;
};

struct ProcessResult {
  int exitCode = -1;
  bool timedOut = false;
  // As text: Windows programs end their lines with CR LF, read here as LF.
  std::string standardOutput, standardError;
};

// A program started with the arguments in the given directory, its output
// captured, not waited for. It runs in a process group (Linux) or job (Windows)
// of its own, which also holds the programs it starts.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, const std::string& directory,
                 const std::vector<std::string>& arguments = {});
  // A program still running then is ended with everything it started.
  ~StartedProgram();
  StartedProgram(const StartedProgram&) = delete;
  StartedProgram& operator=(const StartedProgram&) = delete;

  // Ends the program at once (SIGKILL / TerminateProcess); what it started runs
  // on. False when the program had ended already.
  bool kill();
  // Ends the program and everything it started.
  void killAll();
  // Waits at most timeoutSeconds for the program; past that it is ended with
  // everything it started and the result says timedOut.
  ProcessResult wait(unsigned timeoutSeconds);
  // Whether the program or anything it started still runs.
  bool anyRunning();

  struct Platform;

 private:
  // Whether the program itself still runs; its exit code once it has ended (-1 when it did not exit).
  bool running();
  int exitCode();

  Platform* platform;
  std::string outputDirectory;
};

// Starts a program (argv[0] a path) that runs on its own: its output goes
// nowhere and nothing waits for it. Throws std::runtime_error when it cannot.
void startDetached(const std::vector<std::string>& argv);

// A built tool of this build run in the working directory, for at most a minute.
ProcessResult runTool(const std::string& baseName, const std::vector<std::string>& arguments);

// A run of the built updater as a player sees it: on Windows a person sits in
// front of the progress window, presses its Close button once it is offered
// and acknowledges an error box; the Linux terminal display never waits for
// anyone when standard error is not a terminal.
struct UserSession {
  ProcessResult process;
  // Texts of the "Error" boxes acknowledged (Windows).
  std::vector<std::string> errorBoxes;
  // Whether the progress window offered Close and it was pressed (Windows).
  bool pressedClose = false;
  // Texts the window's status line showed, in order, as seen by polling (Windows).
  std::vector<std::string> statusTexts;
};

// The player at the screen while it lives (Windows); does nothing on Linux.
class Player {
 public:
  Player();
  ~Player();
  // Stops watching and gives what was seen.
  UserSession finish();

 private:
  UserSession session;
  std::atomic<bool> running;
  std::thread watcher;
};

UserSession runAsPlayer(const std::string& program, const std::string& directory, unsigned timeoutSeconds = 120);

}  // namespace testing_support
