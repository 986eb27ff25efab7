#include <windows.h>

#include <gtest/gtest.h>

#include "support/Log.h"

TEST(SystemErrorText, GivesTheSystemsMessageWithItsLineEndOrQuestionMarksForAnUnknownCode) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  std::string text = systemErrorText();
  ASSERT_GT(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
  SetLastError(0x2000FFFF);
  EXPECT_EQ(systemErrorText(), "???");
}
