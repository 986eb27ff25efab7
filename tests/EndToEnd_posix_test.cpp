// The updater on a player's Linux terminal: the status line, the notice, and a
// wait for Enter where the Windows window waits for its Close button.
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <optional>

#include "tests/Installation.h"

using namespace testing_support;

namespace {
struct TerminalRun { std::string screen; int exitCode = -1; bool answeredPrompt = false; };

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
    if (!run.answeredPrompt && run.screen.find("Press Enter to close.") != std::string::npos)
      run.answeredPrompt = write(master, "\n", 1) == 1;
  }
  int status = 0;
  if (waitpid(child, &status, WNOHANG) == 0 && kill(child, SIGKILL) == 0) waitpid(child, &status, 0);
  close(master);
  if (WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  return run;
}

struct Mount {
  // A tmpfs of the given size, or (empty options) the folder itself read-only.
  Mount(const std::string& folder, const std::string& tmpfsOptions) : folder(folder) {
    mounted = tmpfsOptions.empty()
                  ? mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
                        mount(nullptr, folder.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0
                  : mount("tmpfs", folder.c_str(), "tmpfs", 0, tmpfsOptions.c_str()) == 0;
  }
  ~Mount() { umount2(folder.c_str(), MNT_DETACH); }
  Mount(const Mount&) = delete;
  Mount& operator=(const Mount&) = delete;

  std::string folder;
  bool mounted;
};

}  // namespace

// A full disk (a small tmpfs under the module's folder) or a read-only
// installation: exit 1 with the error, the file and the modules file as they were.
TEST(EndToEndPosix, AFullDiskOrAReadOnlyInstallationEndsWithAClearErrorAndLosesNothing) {
  // Mounts of the test's own: in a private mount namespace nobody else sees them,
  // and they go with the test process.
  if (unshare(CLONE_NEWNS) != 0 || mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
    GTEST_SKIP() << "no private mount namespace (needs root)";
  for (bool full : {true, false}) {
    const std::string name = full ? "data/a.pak" : "a.dll";
    SCOPED_TRACE(name);
    Installation installation;
    installation.installed("<module name=\"" + name + "\" version=\"1.0\"/>\n");
    std::filesystem::create_directory("data");
    std::optional<Mount> mount;
    if (full) mount.emplace(installation.dir.path() + "/data", "size=64k");
    writeFile(name, "old");
    const std::string before = readFile("installed.xml");
    installation.publish(name, "2.0", std::string(full ? 1 << 20 : 3, 'x'));
    installation.prepare();
    if (!full) mount.emplace(installation.dir.path(), "");
    ASSERT_TRUE(mount->mounted);
    UserSession session = runAsPlayer(installation.dir.path() + "/updater", installation.dir.path());
    // A failed write names the call; a download that cannot be made names its module.
    const std::string error = full ? "fwrite: No space left on device" : "a.dll: Read-only file system";
    EXPECT_EQ(session.process.exitCode, 1);
    EXPECT_NE(session.process.standardError.find("Error: " + error), std::string::npos) << session.process.standardError;
    EXPECT_EQ(contentsOf({"installed.xml", "defer.sh", name}), before + "|-|old");
  }
}

// One status line rewritten in place; only the notice waits for Enter, a run
// that reaches Done closes by itself.
TEST(EndToEndTerminal, TheStatusLineFollowsTheRunAndOnlyTheNoticeWaitsForEnter) {
  for (bool down : {true, false}) {
    SCOPED_TRACE(down ? "service down" : "service up");
    Installation installation;
    if (down) installation.server.setRoute("/mm", maintenanceAnswer("Down", "Back at six."));
    installation.installed("");
    installation.publish("a.dll", "1.0", "a");
    installation.prepare();
    TerminalRun run = runOnTerminal(installation.dir.path() + "/updater", installation.dir.path());
    EXPECT_EQ(run.answeredPrompt, down) << run.screen;
    EXPECT_EQ(run.exitCode, 0) << run.screen;
    EXPECT_NE(run.screen.find("\r"), std::string::npos);
    const std::vector<std::string> shown = down ? std::vector<std::string>{"Back at six.", "Network Unavailable"}
                                                : std::vector<std::string>{"[0/1] a.dll downloading", "[1/1] Done"};
    for (const std::string& text : shown) EXPECT_NE(run.screen.find(text), std::string::npos) << text;
    EXPECT_EQ(fileExists("a.dll"), !down);
  }
}
