#include <gtest/gtest.h>

#include "tests/TestSupport.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  testing_support::startTestProcess();
  int result = RUN_ALL_TESTS();
  testing_support::finishTestProcess();
  return result;
}
