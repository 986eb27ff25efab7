#include <gtest/gtest.h>

#include "net/URL.h"
#include "support/Exceptions.h"
#include "tests/TestServer.h"

// A server that never answers fails the fetch once the stall time-out has passed.
TEST(URLPosixTest, StalledServerIsNotRespondingAfterTheTimeOut) {
  testing_support::TestServer server;
  testing_support::Route stall;
  stall.mode = testing_support::BodyMode::Stall;
  server.setRoute("/stall", stall);
  URL::setStallTimeoutForTesting(1);
  std::string text;
  try {
    URL(server.baseUrl() + "/stall").fetchToString(text);
    ADD_FAILURE() << "a stalled server answered";
  } catch (const FileNotFoundException& e) {
    EXPECT_EQ(e, "Server not responding");
  }
  URL::setStallTimeoutForTesting(0);
}
