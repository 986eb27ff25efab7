// Runs the built program itself in a scratch installation directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// Settings that let the run start but not get far: there is no installed-modules
// file, so the run ends with that error (exit code 1) after its first log lines.
const char* kSettings = "<UpdaterIni><modulesFile>installed.xml</modulesFile></UpdaterIni>\n";

ProcessResult runUpdater(const std::string& dir) { return runAsPlayer(builtProgram("updater"), dir).process; }
}  // namespace

// Without settings the run ends before the log exists; whatever an earlier run
// left, the log starts with the version and revision; a log that cannot be
// created leaves the lines on standard error.
TEST(Entry, StartsEveryLogFreshAndWhatCannotGoToTheLogGoesToStandardError) {
  ScopedWorkingDirectory dir;
  ProcessResult result = runUpdater(dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardError, "an exception occured: UpdaterIni.xml: No such file or directory\n");
  EXPECT_FALSE(fileExists("update.log"));
  writeFile("UpdaterIni.xml", kSettings);
  writeFile("update.log", "a line of an earlier run\n");
  result = runUpdater(dir.path());
  EXPECT_EQ(result.exitCode, 1) << result.standardError;
  // The first line and the last.
  const std::string log = withoutCarriageReturns(readFile("update.log"));
  EXPECT_TRUE(std::regex_match(log, std::regex(R"(updater 2\.5\.1vesmar \(([0-9a-f]{12}(-dirty)?|unknown)\)\n)"
                                               R"(([^]*\n)?observer got error: Error: XML parse error\n?)"))) << log;
  std::filesystem::remove("update.log");
  std::filesystem::create_directory("update.log");
  result = runUpdater(dir.path());
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.standardError.rfind("updater 2.5.1vesmar (", 0), 0u) << result.standardError;
}
