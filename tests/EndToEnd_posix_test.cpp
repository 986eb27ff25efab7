// The updater on a player's Linux terminal: the status line, the notice, and a
// wait for Enter where the Windows window waits for its Close button.
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>

#include "tests/Installation.h"

using namespace testing_support;

namespace {
struct TerminalRun {
  std::string screen;
  int exitCode = -1;
  bool answeredPrompt = false;
};

// Runs the program on a new pseudo-terminal, pressing Enter once it asks for it.
TerminalRun runOnTerminal(const std::string& program, const std::string& directory) {
  TerminalRun run;
  int master = -1;
  pid_t child = forkpty(&master, nullptr, nullptr, nullptr);
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(126);
    execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd watched = {master, POLLIN, 0};
    if (poll(&watched, 1, 100) > 0) {
      char bytes[4096];
      ssize_t count = read(master, bytes, sizeof bytes);
      if (count <= 0) break;  // the program has gone
      run.screen.append(bytes, static_cast<std::size_t>(count));
    }
    if (!run.answeredPrompt && run.screen.find("Press Enter to close.") != std::string::npos) {
      run.answeredPrompt = write(master, "\n", 1) == 1;
    }
  }
  int status = 0;
  if (waitpid(child, &status, WNOHANG) == 0) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  close(master);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}
}  // namespace

TEST(EndToEndTerminal, TheNoticeWaitsForEnterWhenTheServiceIsDown) {
  Installation installation;
  installation.maintenance("true", "Down", "Back at six.");
  installation.installed("");
  installation.prepare();
  TerminalRun run = runOnTerminal(currentDirectory() + "/updater", currentDirectory());
  EXPECT_TRUE(run.answeredPrompt) << run.screen;
  EXPECT_EQ(run.exitCode, 0) << run.screen;
  EXPECT_NE(run.screen.find("Back at six."), std::string::npos) << run.screen;
  EXPECT_NE(run.screen.find("Network Unavailable"), std::string::npos) << run.screen;
}

TEST(EndToEndTerminal, TheStatusLineFollowsTheRunAndClosesByItselfAtDone) {
  Installation installation;
  installation.installed("");
  installation.publish("a.dll", "1.0", "a");
  installation.prepare();
  TerminalRun run = runOnTerminal(currentDirectory() + "/updater", currentDirectory());
  EXPECT_FALSE(run.answeredPrompt) << run.screen;
  EXPECT_EQ(run.exitCode, 0) << run.screen;
  // One line rewritten in place: carriage returns, and the last text is "Done".
  EXPECT_NE(run.screen.find("\r"), std::string::npos);
  EXPECT_NE(run.screen.find("[0/1] a.dll downloading"), std::string::npos) << run.screen;
  EXPECT_NE(run.screen.find("[1/1] Done"), std::string::npos) << run.screen;
  EXPECT_EQ(readFile("a.dll"), "a");
}
