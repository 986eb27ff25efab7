#include "app/DebugDelay.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/UpdaterFixture.h"

using namespace testing_support;


TEST(DebugDelay, DecimalHexOctalAndLettersAreLoggedAsGiven) {
  RecordedDelays delays;
  LogCapture log;
  debugDelay("2");
  debugDelay("0x3");
  debugDelay("010");
  debugDelay("abc");
  debugDelay("4s");
  debugDelay("");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"dd = 2", "dd = 0x3", "dd = 010", "dd = abc", "dd = 4s"}));
  EXPECT_EQ(delays.requested, (std::vector<uint32_t>{2000, 3000, 8000, 0, 4000}));
}

TEST(DebugDelay, TheProductWrapsIn32Bits) {
  EXPECT_EQ(debugDelayMilliseconds("4294968"), 4294968u * 1000u);  // past 2^32 ms
  EXPECT_EQ(debugDelayMilliseconds("99999999999"), 0xFFFFFFFFu * 1000u);
  EXPECT_EQ(debugDelayMilliseconds("-1"), 0xFFFFFFFFu * 1000u);
  EXPECT_EQ(debugDelayMilliseconds(" 7"), 7000u);
}
