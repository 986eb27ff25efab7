#pragma once
// A scratch installation of the real updater, the test server standing in for
// the maintenance manager and the update server, and the sample client as the
// game client; the updater is run as a player would run it.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <tuple>

#include "support/Digest.h"
#include "support/Signature.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"

namespace testing_support {

inline std::string exe() { return onWindows() ? ".exe" : ""; }

// The maintenance manager's answer: updates allowed, the service's status and its notice.
inline std::string maintenanceAnswer(const std::string& status, const std::string& message) {
  return "<parameters><parameter name=\"successful\">true</parameter><parameter name=\"status\">" + status +
         "</parameter><parameter name=\"message\">" + message + "</parameter></parameters>";
}

struct Installation {
  Installation() {
    settings = {{"commMaintMgr", server.baseUrl() + "/mm"}, {"updateServer", server.baseUrl() + "/list"},
                {"lang", "en"}, {"gamename", "game"}, {"type", "full"}, {"method", "http"}, {"prodId", "1"},
                {"lsdId", "2"}, {"siteId", "3"}, {"modulesFile", "installed.xml"}, {"autoStart", "client" + exe()}};
    // Installed like the real thing: the updater runs from the installation,
    // which Windows searches first for the programs it starts.
    std::filesystem::copy_file(builtProgram("updater"), "updater" + exe());
    std::filesystem::copy_file(builtProgram("sample_client"), "client" + exe());
    server.setRoute("/mm", maintenanceAnswer("Up", ""));
  }
  ~Installation() {
    if (::testing::Test::HasFailure()) std::cout << "update.log:\n" << withoutCarriageReturns(readFile("update.log"));
  }

  void installed(const std::string& modules) {
    writeFile("installed.xml", "<?xml version=\"1.0\"?>\n<modules>\n" + modules + "</modules>\n");
  }

  // Serves a module's file and lists it; extra holds further attributes.
  void publish(const std::string& name, const std::string& version, const std::string& body,
               const std::string& extra = "") {
    server.setRoute("/files/" + name, body);
    published += "<module name=\"" + name + "\" version=\"" + version + "\" url=\"" + server.baseUrl() +
                 "/files/" + name + "\" contentLength=\"" + std::to_string(body.size()) + "\" " + extra + "/>\n";
  }

  // Writes the settings and the server's module list, with its signature when
  // listKey holds a key.
  void prepare() {
    writeFile("UpdaterIni.xml", settingsXml(settings));
    const std::string list = "<downloadFiles>\n" + published + "</downloadFiles>\n";
    if (!listKey.scalar.empty()) server.setRoute("/list.sig", signBytes(listKey, list));
    Route route{200, list};
    // The first answer as firstListAnswer sends it, at status 200.
    std::tie(route.failFirst, route.failMode, route.failStatus) = std::make_tuple(1, firstListAnswer, 200);
    server.setRoute("/list", route);
  }

  // Runs the updater as a player does, to its end with exit code 0.
  UserSession run() {
    prepare();
    UserSession session = runAsPlayer((std::filesystem::path(dir.path()) / ("updater" + exe())).string(), dir.path());
    EXPECT_EQ(session.process.exitCode, 0) << session.process.standardError;
    return session;
  }

  // The log without the observers' lines, which interleave.
  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    for (const std::string& line : splitLines(withoutCarriageReturns(readFile("update.log"))))
      if (line != "observed status change") lines.push_back(line);
    return lines;
  }

  ScopedWorkingDirectory dir;
  TestServer server;
  std::map<std::string, std::string> settings;
  std::string published;
  ecdsa::KeyPair listKey;
  BodyMode firstListAnswer = BodyMode::Normal;
};

inline bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

inline const char* const kFirstLine = R"(~updater 2\.5\.1vesmar \(.*\))";

}  // namespace testing_support
