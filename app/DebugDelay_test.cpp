#include "app/DebugDelay.h"

#include <gtest/gtest.h>

#include "tests/UpdaterFixture.h"

using namespace testing_support;

// Seconds as the C library reads them (decimal, hex, octal, a leading number),
// saturated at 32 bits as a 32-bit strtoul does, then wrapped in 32 bits as milliseconds.
TEST(DebugDelay, TheTextIsLoggedAsGivenAndReadAsSecondsIn32Bits) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"2", 2000},  {"0x3", 3000}, {"010", 8000}, {"abc", 0}, {"4s", 4000}, {" 7", 7000},
      {"4294968", 4294968u * 1000u}, {"99999999999", 0xFFFFFFFFu * 1000u}, {"-1", 0xFFFFFFFFu * 1000u}};
  for (const auto& c : cases) {
    RecordedDelays delays;
    LogCapture log;
    debugDelay(c.first);
    EXPECT_EQ(log.lines(), std::vector<std::string>{std::string("dd = ") + c.first});
    EXPECT_EQ(delays.requested, std::vector<uint32_t>{c.second}) << c.first;
  }
  LogCapture log;
  debugDelay("");   // none
  debugDelay("0");  // the real wait, of no time
  EXPECT_EQ(log.lines(), std::vector<std::string>{"dd = 0"});
}
