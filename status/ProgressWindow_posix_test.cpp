#include <gtest/gtest.h>

#include "status/ProgressWindow.h"

// The terminal display itself is followed through the real program (EndToEndTerminal).
TEST(ProgressWindowTerminalDeathTest, ShowsAnErrorFramedAndEndsTheProgramWithCodeOne) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto failingRun = [] {
    UpdateStatus status;
    ProgressWindow window;
    window.start();
    status.addObserver(&window);
    status.setStage(FindingInstalledModules);
    status.setError("Error: fetch: Server not responding");
  };
  EXPECT_EXIT(failingRun(), ::testing::ExitedWithCode(1),
              "\\+-+\\+\n\\| Error +\\|\n\\+-+\\+\n\\| Error: fetch: Server not responding \\|\n\\+-+\\+\n$");
}
