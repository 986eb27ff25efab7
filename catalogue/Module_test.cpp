#include "catalogue/Module.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {
std::pair<int32_t, int32_t> numbers(const char* text) {
  ModuleVersion v(text);
  return {v.major, v.minor};
}

// Every field as one text: "name version(major.minor) url md5sum critical forceReadOnly contentLength state".
std::string fieldsOf(const Module& m) {
  return m.name + " " + m.version.text + "(" + std::to_string(m.version.major) + "." +
         std::to_string(m.version.minor) + ") " + m.url + " " + m.md5sum + " " + std::to_string(m.critical) + " " +
         std::to_string(m.forceReadOnly) + " " + std::to_string(m.contentLength) + " " + std::to_string(m.state.load());
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
  EXPECT_EQ(fieldsOf(m), "data/a.bin 2.0(2.0)   1 0 -1 " + std::to_string(Pending));
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
  m.sha256 = "5c";
  EXPECT_EQ(fieldsOf(Module(m)), "a.dll 1.2(1.2) http://h/a abc 0 1 10 " + std::to_string(Installing));
  EXPECT_EQ(Module(m).sha256, "5c");
}
