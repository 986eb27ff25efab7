#include <gtest/gtest.h>

#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/stringify.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(Log, EndsLinesAsTextModeDoesOnThePlatform) {
  // The raw bytes: the capture removes carriage returns.
  logPrintf("first\n");
  logPrintf("line\n");
  std::string raw = readFile("update.log"), ending = onWindows() ? "first\r\nline\r\n" : "first\nline\n";
  ASSERT_GE(raw.size(), ending.size());
  EXPECT_EQ(raw.substr(raw.size() - ending.size()), ending);
}

struct Unprintable {};
std::ostream& operator<<(std::ostream& out, const Unprintable&) {
  out.setstate(std::ios::failbit);
  return out;
}

TEST(Stringify, ReportsAStreamFailureAsConversionError) { EXPECT_THROW(stringify(Unprintable()), ConversionError); }
