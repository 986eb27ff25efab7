// The updater in use on a player's Windows machine: its rename waits for "defer.bat".
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/HeldFile_win.h"
#include "tests/Installation.h"

using namespace testing_support;

TEST(EndToEndWindows, AnUpdaterHeldOpenIsReplacedAndStartedByTheScript) {
  Installation installation;
  installation.installed("<module name=\"updater.exe\" version=\"1.0\"/>\n");
  std::string newUpdater = readFile(builtProgram("sample_client"));
  installation.publish("updater.exe", "2.0", newUpdater);
  installation.publish("later.dat", "1.0", "later", "critical=\"false\"");
  HeldFile held("updater.exe");
  ASSERT_TRUE(held.held());

  installation.run();

  std::vector<std::string> log = installation.log();
  EXPECT_TRUE(contains(log, "deferred rename of updater.exe.new to updater.exe"));
  for (const std::string& line : log) EXPECT_EQ(line.rfind("cmdline = ", 0), std::string::npos) << line;
  EXPECT_FALSE(fileExists("later.dat"));
  EXPECT_EQ(readFile("defer.bat"),
            "@echo off\r\n:1\r\ndel updater.exe\r\nren updater.exe.new updater.exe\r\n"
            "if not exist updater.exe.new goto :1done\r\n"
            "\"%SystemRoot%\\system32\\ping.exe\" -n 2 127.0.0.1 >nul\r\ngoto :1\r\n:1done\r\n"
            "start updater.exe\r\ncls\r\n");
  // The previous version stays recorded until a run finds the new file in place.
  EXPECT_NE(withoutCarriageReturns(readFile("installed.xml")).find("<module name=\"updater.exe\" version=\"1.0\"/>"),
            std::string::npos);
  held.release();
  EXPECT_TRUE(eventually([&] { return readFile("updater.exe") == newUpdater; }));
  // The script started the new updater (the sample client) once it was in place.
  EXPECT_TRUE(eventually([] { return readFile("started.txt").find("updater") != std::string::npos; }));
}
