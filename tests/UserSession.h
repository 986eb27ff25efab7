#pragma once
// Runs the built updater as a player would: on Windows a person sits in front of
// the progress window, presses its Close button once it is offered and
// acknowledges an error box; the Linux terminal display never waits for anyone
// when standard error is not a terminal.
#include <string>
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

UserSession runAsPlayer(const std::string& program, const std::string& directory,
                        unsigned timeoutSeconds = 120);

}  // namespace testing_support
