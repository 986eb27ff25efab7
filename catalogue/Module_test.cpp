#include "catalogue/Module.h"

#include <gtest/gtest.h>

// Short texts are major.minor, texts of ten or more characters one number, clamped to 32 bits.
TEST(ModuleVersion, ParsesShortTextsAsMajorDotMinorAndLongOnesAsOneNumberAndOrdersByThem) {
  const struct { const char* text; int32_t major, minor; } cases[] = {
      {"1", 1, 0},          {"1.10", 1, 10},         {"1.2.3", 1, 2},       {"x2.1", 0, 1},
      {"", 0, 0},           {" -3.-4", -3, -4},      {"123456789", 123456789, 0},
      {"2147483647", 0, 2147483647},                 {"1.2.3.4.56", 0, 1},  {"99999999999", 0, INT32_MAX},
      {"-99999999999", 0, INT32_MIN},                {"99999999.9", 0, 99999999},
  };
  for (const auto& c : cases) {
    ModuleVersion version(c.text);
    EXPECT_EQ(std::to_string(version.major) + "." + std::to_string(version.minor),
              std::to_string(c.major) + "." + std::to_string(c.minor)) << c.text;
  }
  EXPECT_TRUE(ModuleVersion("1.9").isOlderThan(ModuleVersion("1.10")));
  EXPECT_FALSE(ModuleVersion("01.02").isOlderThan(ModuleVersion("1.2")));
  EXPECT_TRUE(ModuleVersion("1000000000").isOlderThan(ModuleVersion("1.0")));
}
