#include "tests/UserSession.h"

namespace testing_support {

Player::Player() : running(false) {}

Player::~Player() {}

UserSession Player::finish() { return session; }

UserSession runAsPlayer(const std::string& program, const std::string& directory, unsigned timeoutSeconds) {
  UserSession session;
  session.process = runProgram(program, directory, timeoutSeconds);
  return session;
}

}  // namespace testing_support
