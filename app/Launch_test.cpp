#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "app/DeferredScript.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

// The updater's own file last: the script puts it in place and starts the new updater.
TEST(Launch, TheNewUpdaterIsStartedAfterTheRenames) {
  UpdaterFixture updater;
  const std::string self = onWindows() ? "updater.exe" : "updater";
  writeFile("a.dll", "old");
  writeFile("a.dll.new", "new");
  writeFile(self, "old updater");
  if (onWindows()) {
    // The real updater: without settings in this directory it ends at once.
    writeFile(self + ".new", readFile(builtProgram("updater")));
  } else {
    writeFile(self + ".new", "#!/bin/sh\necho started > restarted\n");
    std::filesystem::permissions(self + ".new", std::filesystem::perms(0755));
  }
  std::filesystem::remove("UpdaterIni.xml");
  updater->deferredRenames = {{self + ".new", self}, {"a.dll.new", "a.dll"}};
  updater->updaterRenameDeferred = true;
  LogCapture log;
  updater->startDeferredRenames();
  expectLog(log.lines(), {"deferred rename of a.dll.new to a.dll", "deferred rename of " + self + ".new to " + self,
                          "~batchfile pid = [1-9][0-9]*"});
  if (onWindows()) {
    EXPECT_EQ(withoutCarriageReturns(readFile("defer.bat")), batchScriptText(updater->deferredRenames, true));
    EXPECT_NE(readFile("defer.bat").find("\r\nstart updater.exe\r\ncls\r\n"), std::string::npos);  // lines end as cmd.exe needs
  } else {
    ASSERT_TRUE(eventually([] { return hasLine("restarted"); }));
  }
  ASSERT_TRUE(eventually([&] { return !fileExists(self + ".new") && !fileExists("a.dll.new"); }));
  EXPECT_EQ(readFile("a.dll"), "new");
  // Let the restarted updater end before the directory goes.
  if (onWindows()) eventually([&] {
      std::error_code ignored;
      return std::filesystem::remove(self, ignored);
    }, 10);
}

// A script that cannot be created, and a client that cannot start (named with its command line).
TEST(Launch, WhatCannotStartIsReported) {
  UpdaterFixture updater;
  std::filesystem::create_directory(kDeferredScriptName);
  updater->deferredRenames["a.dll.new"] = "a.dll";
  const std::string failure = failureText([&] { updater->startDeferredRenames(); });
  EXPECT_TRUE(std::regex_match(failure, std::regex(std::string("open ") + kDeferredScriptName + ": .+"))) << failure;
  for (const std::string& program : {std::string("C:\\Game\\client.exe"), std::string(""),
                                     std::string("client.exe -windowed")}) {
    LogCapture log;
    EXPECT_EQ(failureText([&] { updater->autoStartProcess(program); }), "unable to start \"" + program + "\"");
    EXPECT_EQ(log.lines(), std::vector<std::string>{"cmdline = \"" + program + "\""});
  }
}
