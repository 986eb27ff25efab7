// Files in use on a player's Windows machine: their renames wait for "defer.bat".
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/Installation.h"

using namespace testing_support;

namespace {
// Holds a file open the way a running program does: no delete sharing, so it
// cannot be renamed while held.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~HeldFile() { release(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle != INVALID_HANDLE_VALUE; }
  void release() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle;
};

}  // namespace

TEST(EndToEndWindows, AModuleHeldOpenIsReplacedByTheScriptOnceReleased) {
  Installation installation;
  installation.installed("<module name=\"client.dll\" version=\"1.0\"/>\n");
  writeFile("client.dll", "old");
  installation.publish("client.dll", "2.0", "new");
  HeldFile held("client.dll");
  ASSERT_TRUE(held.held());

  UserSession session = installation.run();

  EXPECT_EQ(session.process.exitCode, 0) << session.process.standardError;
  std::vector<std::string> log = installation.log();
  EXPECT_TRUE(contains(log, "deferred rename of client.dll.new to client.dll"));
  EXPECT_TRUE(contains(log, "cmdline = \"client.exe\""));  // the client still started
  ASSERT_FALSE(log.empty());
  expectLog({log.back()}, {R"(~batchfile pid = [0-9]+)"});
  EXPECT_EQ(readFile("defer.bat"),
            "@echo off\r\n:1\r\ndel client.dll\r\nren client.dll.new client.dll\r\n"
            "if not exist client.dll.new goto :1done\r\n"
            "\"%SystemRoot%\\system32\\ping.exe\" -n 2 127.0.0.1 >nul\r\ngoto :1\r\n:1done\r\ncls\r\n");
  EXPECT_EQ(readFile("client.dll"), "old");
  held.release();
  EXPECT_TRUE(eventually([] { return readFile("client.dll") == "new" && !fileExists("client.dll.new"); }));
}

TEST(EndToEndWindows, AnUpdaterHeldOpenIsReplacedAndStartedByTheScript) {
  Installation installation;
  installation.installed("<module name=\"updater.exe\" version=\"1.0\"/>\n");
  std::string newUpdater = readFile(builtProgram("sample_client"));
  installation.publish("updater.exe", "2.0", newUpdater);
  installation.publish("later.dat", "1.0", "later", "critical=\"false\"");
  HeldFile held("updater.exe");
  ASSERT_TRUE(held.held());

  UserSession session = installation.run();

  EXPECT_EQ(session.process.exitCode, 0) << session.process.standardError;
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
