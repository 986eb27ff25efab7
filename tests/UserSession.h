#pragma once
// Runs the built updater as a player would: on Windows a person sits in front of
// the progress window, presses its Close button once it is offered and
// acknowledges an error box; the Linux terminal display never waits for anyone
// when standard error is not a terminal.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tests/TestSupport.h"

namespace testing_support {

struct UserSession {
  ProcessResult process;
  // Texts of the "Error" boxes acknowledged (Windows).
  std::vector<std::string> errorBoxes;
  // Whether the progress window offered Close and it was pressed (Windows).
  bool pressedClose = false;
  // Texts the window's status line showed, in order, as seen by polling (Windows).
  std::vector<std::string> statusTexts;
};

// The player at the screen while it lives (Windows): presses each progress
// window's Close button once it is offered and acknowledges error boxes. Does
// nothing on Linux.
class Player {
 public:
  Player();
  ~Player();
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;
  // Stops watching and gives what was seen.
  UserSession finish();

 private:
  UserSession session;
  std::atomic<bool> running;
  std::thread watcher;
};

UserSession runAsPlayer(const std::string& program, const std::string& directory,
                        unsigned timeoutSeconds = 120);

}  // namespace testing_support
