#include "tests/UserSession.h"

namespace testing_support {

UserSession runAsPlayer(const std::string& program, const std::string& directory, unsigned timeoutSeconds) {
  UserSession session;
  session.process = runProgram(program, directory, timeoutSeconds);
  return session;
}

}  // namespace testing_support
