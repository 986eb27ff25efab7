#include <gtest/gtest.h>

#include "net/URL.h"
#include "tests/TestSupport.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  initializeNetworking();
  testing_support::startTestProcess();
  int result = RUN_ALL_TESTS();
  testing_support::finishTestProcess();
  return result;
}
