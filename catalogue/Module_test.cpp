#include "catalogue/Module.h"

#include <gtest/gtest.h>

#include <utility>

namespace {
std::pair<int32_t, int32_t> numbers(const char* text) {
  ModuleVersion v(text);
  return {v.major, v.minor};
}

Module withAttributes(const char* critical, const char* forceReadOnly, const char* contentLength) {
  return Module("a.dll", "1.0", nullptr, nullptr, critical, forceReadOnly, contentLength);
}
}  // namespace

TEST(ModuleVersion, ParsesShortTextsAsMajorDotMinorAndLongOnesAsOneNumber) {
  using P = std::pair<int32_t, int32_t>;
  EXPECT_EQ(numbers("1"), P(1, 0));
  EXPECT_EQ(numbers("1.2"), P(1, 2));
  EXPECT_EQ(numbers("1.10"), P(1, 10));
  EXPECT_EQ(numbers("1.2.3"), P(1, 2));
  EXPECT_EQ(numbers("x2.1"), P(0, 1));
  EXPECT_EQ(numbers(".5"), P(0, 5));
  EXPECT_EQ(numbers(""), P(0, 0));
  EXPECT_EQ(numbers("abc"), P(0, 0));
  EXPECT_EQ(numbers(" -3.-4"), P(-3, -4));
  EXPECT_EQ(numbers("123456789"), P(123456789, 0));     // nine characters
  EXPECT_EQ(numbers("2147483647"), P(0, 2147483647));   // ten
  EXPECT_EQ(numbers("1.2.3.4.56"), P(0, 1));            // ten, read as one number
  EXPECT_EQ(numbers("99999999999"), P(0, 2147483647));  // clamped
  EXPECT_EQ(numbers("-99999999999"), P(0, INT32_MIN));
  EXPECT_EQ(numbers("99999999.9"), P(0, 99999999));
}

TEST(ModuleVersion, OrdersByMajorThenMinorIgnoringTheText) {
  EXPECT_TRUE(ModuleVersion("1.9").isOlderThan(ModuleVersion("1.10")));
  EXPECT_FALSE(ModuleVersion("1.10").isOlderThan(ModuleVersion("1.9")));
  EXPECT_FALSE(ModuleVersion("1.2").isOlderThan(ModuleVersion("01.02")));
  EXPECT_FALSE(ModuleVersion("01.02").isOlderThan(ModuleVersion("1.2")));
  EXPECT_TRUE(ModuleVersion("1000000000").isOlderThan(ModuleVersion("1.0")));
  EXPECT_TRUE(ModuleVersion("-1.5").isOlderThan(ModuleVersion("0.0")));
  EXPECT_EQ(ModuleVersion("01.02").text, "01.02");
}

TEST(Module, TakesDefaultsForAbsentAttributes) {
  Module m("data/a.bin", "2.0", nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(m.name, "data/a.bin");
  EXPECT_EQ(m.version.text, "2.0");
  EXPECT_EQ(m.url, "");
  EXPECT_EQ(m.md5sum, "");
  EXPECT_TRUE(m.critical);
  EXPECT_FALSE(m.forceReadOnly);
  EXPECT_EQ(m.contentLength, -1);
  EXPECT_EQ(m.state, Pending);
}

TEST(Module, ReadsContentLengthAsAtoiDoes) {
  EXPECT_EQ(withAttributes(nullptr, nullptr, "").contentLength, 0);
  EXPECT_EQ(withAttributes(nullptr, nullptr, "12abc").contentLength, 12);
  EXPECT_EQ(withAttributes(nullptr, nullptr, "-7").contentLength, -7);
  EXPECT_EQ(withAttributes(nullptr, nullptr, "  42").contentLength, 42);
}

TEST(Module, OnlyExactFlagTextsChangeTheDefaults) {
  for (const char* text : {"false", "0"}) EXPECT_FALSE(withAttributes(text, nullptr, nullptr).critical) << text;
  for (const char* text : {"true", "yes", "False", "FALSE", "", " 0", "no"})
    EXPECT_TRUE(withAttributes(text, nullptr, nullptr).critical) << text;
  for (const char* text : {"true", "1"}) EXPECT_TRUE(withAttributes(nullptr, text, nullptr).forceReadOnly) << text;
  for (const char* text : {"false", "yes", "TRUE", "", " 1"})
    EXPECT_FALSE(withAttributes(nullptr, text, nullptr).forceReadOnly) << text;
}

TEST(Module, ACopyKeepsEveryFieldTheStateIncluded) {
  Module m("a.dll", "1.2", "http://h/a", "abc", "0", "1", "10");
  m.state = Installing;
  Module copy(m);
  EXPECT_EQ(copy.name, "a.dll");
  EXPECT_EQ(copy.version.text, "1.2");
  EXPECT_EQ(copy.version.minor, 2);
  EXPECT_EQ(copy.url, "http://h/a");
  EXPECT_EQ(copy.md5sum, "abc");
  EXPECT_FALSE(copy.critical);
  EXPECT_TRUE(copy.forceReadOnly);
  EXPECT_EQ(copy.contentLength, 10);
  EXPECT_EQ(copy.state, Installing);
}
