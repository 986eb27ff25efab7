#include <gtest/gtest.h>

#include <cstdlib>

#include "net/URL.h"
#include "tests/TestSupport.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  initializeNetworking();
  testing_support::startTestProcess();
  // Also when a death test's child ends the process with exit().
  std::atexit(testing_support::finishTestProcess);
  return RUN_ALL_TESTS();
}
