#include <gtest/gtest.h>

#include "net/URL.h"
#include "support/Exceptions.h"
#include "tests/TestServer.h"

// Takes as long as the stall time-out (a minute): the one test that does.
TEST(URLPosixTest, StalledServerIsNotRespondingAfterTheTimeOut) {
  testing_support::TestServer server;
  testing_support::Route stall;
  stall.mode = testing_support::BodyMode::Stall;
  server.setRoute("/stall", stall);
  std::string text;
  try {
    URL(server.baseUrl() + "/stall").fetchToString(text);
    FAIL() << "a stalled server answered";
  } catch (const FileNotFoundException& e) {
    EXPECT_EQ(e, "Server not responding");
  }
}
