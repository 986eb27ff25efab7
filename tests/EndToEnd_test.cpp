// The built updater run as on a player's machine: a scratch installation, the
// test server standing in for the maintenance manager and the update server, and
// the sample client as the game client.
#include <gtest/gtest.h>

#include <regex>

#include "tests/Installation.h"

using namespace testing_support;

TEST(EndToEnd, ATypicalRunUpdatesStartsTheClientBetweenThePassesAndCommits) {
  Installation installation;
  installation.settings["maxDownloadRate"] = "0";  // no limit, and no line for it
  installation.installed("<module name=\"a.dll\" version=\"1.0\"/>\n");
  writeFile("a.dll", "old a");
  installation.publish("a.dll", "1.1", "new a", "critical=\"true\"");
  installation.publish("b.dat", "2.0", "new b", "critical=\"false\"");

  UserSession session = installation.run();

  const std::string base = installation.server.baseUrl();
  expectLog(installation.log(), {
      kFirstLine, "url = " + base + "/mm", "successful = true", "status = Up", "message = ",
      "url = " + base + "/list?lang=en&gamename=game&type=full&method=http&prodId=1&lsdId=2&siteId=3",
      "component a.dll is out of date (contentLength = 5)",
      "component b.dat is out of date (contentLength = 5)",
      "Updater::fetchAndInstallModules", "fetching component a.dll", "url = " + base + "/files/a.dll",
      "installing component a.dll", "file attributes for a.dll = 20",
      "cmdline = \"client" + exe() + "\"", R"(~autoStartProcess pid = [0-9]+)",
      "Updater::fetchAndInstallModules", "fetching component b.dat", "url = " + base + "/files/b.dat",
      "installing component b.dat", "file attributes for b.dat = ffffffff", "no deferred renames"});
  EXPECT_EQ(contentsOf({"a.dll", "b.dat", "a.dll.old", "a.dll.new", "installed.xml.old"}), "new a|new b|-|-|-");
  EXPECT_EQ(withoutCarriageReturns(readFile("installed.xml")),
            "<?xml version=\"1.0\"?>\n<modules>\n  <module name=\"a.dll\" version=\"1.1\"/>\n"
            "  <module name=\"b.dat\" version=\"2.0\"/>\n</modules>\n");
  // The client runs on its own: the file exists a moment before its line is in it.
  EXPECT_TRUE(eventually([] { return hasLine("started.txt"); }));
  EXPECT_EQ(splitLines(readFile("started.txt")).size(), 1u);
  const std::vector<std::string> texts = {
      "Updater Starting",          "Finding Installed Modules", "Finding Available Modules", "[0/1] a.dll downloading",
      "[1/1] a.dll installed",     "[1/1] Launching Program",   "[1/1] b.dat downloading",
      "[1/1] b.dat installed",     "[1/1] Updating Installed Modules List", "[1/1] Done"};
  if (onWindows()) {
    EXPECT_TRUE(session.errorBoxes.empty());
    EXPECT_FALSE(session.pressedClose);  // at Done the window closed itself
    // What the player saw, sampled: every text shown is one of the run's, in order.
    auto next = texts.begin();
    for (const std::string& seen : session.statusTexts) {
      next = std::find(next, texts.end(), seen);
      EXPECT_NE(next, texts.end()) << seen;
    }
  } else {
    // Without a terminal the display prints each new text once, on its own line.
    EXPECT_EQ(splitLines(session.process.standardError), texts);
  }
}

TEST(EndToEnd, TheServiceReportedDownSkipsAllModuleWorkAndShowsTheNotice) {
  Installation installation;
  installation.server.setRoute("/mm", maintenanceAnswer("Down", "Back at six."));
  installation.settings["maxDownloadRate"] = "1e6";  // no limit: not a number
  writeFile("defer.bat", "left from before");
  writeFile("defer.sh", "left from before");
  UserSession session = installation.run();

  expectLog(installation.log(), {kFirstLine, "ignored maxDownloadRate \"1e6\": not a whole number of bytes per second",
                                 "url = " + installation.server.baseUrl() + "/mm",
                                 "successful = true", "status = Down", "message = Back at six.",
                                 "no deferred renames"});
  EXPECT_EQ(contentsOf({"defer.bat", "defer.sh", "installed.xml", "started.txt"}),
            "left from before|left from before|-|-");
  if (onWindows()) {
    EXPECT_TRUE(session.pressedClose);  // the run waited until the player closed the window
  } else {
    EXPECT_NE(session.process.standardError.find("Back at six."), std::string::npos);
    EXPECT_NE(session.process.standardError.find("Network Unavailable"), std::string::npos);
  }
}

TEST(EndToEnd, AClientLiftsTheRateLimitOfTheSettingsInTheMiddleOfADownload) {
  Installation installation;
  installation.settings["maxDownloadRate"] = "5000";  // 200 s for the file: the run's time limit would end it
  installation.installed("");
  installation.publish("big.dat", "1.0", std::string(1 << 20, 'b'));
  std::thread run([&] { installation.run(); });
  const std::string fetching = "url = " + installation.server.baseUrl() + "/files/big.dat";
  EXPECT_TRUE(eventually([&] { return contains(installation.log(), fetching); }));
  ProcessResult tool = runTool("updater-status", {"rate", "0"});
  run.join();
  EXPECT_EQ(tool.exitCode, 0) << tool.standardError;
  const std::vector<std::string> log = installation.log();
  auto at = [&log](const std::string& line) { return std::find(log.begin(), log.end(), line) - log.begin(); };
  EXPECT_EQ(at("download rate limited to 5000 bytes per second"), 1);  // before the first transfer
  EXPECT_LT(at(fetching), at("download rate not limited"));
  EXPECT_LT(at("download rate not limited"), at("installing component big.dat"));
  EXPECT_EQ(readFile("big.dat").size(), 1u << 20);
}

TEST(EndToEnd, ASignedListDeliversSettingsThatMoveTheInstallationToANewKey) {
  Installation installation;
  const ecdsa::KeyPair newKey = ecdsa::generateKeyPair();
  installation.listKey = ecdsa::generateKeyPair();
  installation.settings["publicKeys"] = publicKeyTextOf(installation.listKey.point);
  // Cut short, the first answer is not taken, though its bytes are the whole list: the next try is.
  installation.firstListAnswer = BodyMode::CutShort;
  installation.installed("");
  // The next list, signed by the new key only, lies elsewhere: the settings say where.
  const std::string next = "<downloadFiles>\n</downloadFiles>\n";
  installation.server.setRoute("/next", next);
  installation.server.setRoute("/next.sig", signBytes(newKey, next));
  std::map<std::string, std::string> rotatedSettings = installation.settings;
  rotatedSettings["publicKeys"] = publicKeyTextOf(newKey.point);
  rotatedSettings["updateServer"] = installation.server.baseUrl() + "/next";
  const std::string rotated = settingsXml(rotatedSettings);
  installation.publish(onWindows() ? "updaterIni.xml" : "UpdaterIni.xml", "2.0", rotated,
                       "sha256=\"" + hexText(Digest::of(DigestAlgorithm::Sha256, rotated)) + "\"");

  installation.run();
  // The updater restarts itself with the new settings, takes the list signed by
  // the new key and starts the client.
  EXPECT_TRUE(eventually([] { return readFile("started.txt").find("client") != std::string::npos; }));
  EXPECT_EQ(readFile("UpdaterIni.xml"), rotated);
  const std::vector<ServedRequest> requests = installation.server.requests();
  EXPECT_TRUE(std::any_of(requests.begin(), requests.end(), [](const auto& r) { return r.path == "/next.sig"; }));
  EXPECT_EQ(std::count_if(requests.begin(), requests.end(), [](const auto& r) { return r.path == "/list"; }), 2);
  // The second run's log, to its end.
  const std::regex rerun(R"(/next\.sig\?lang=en[^]*\nmodule list signed by public key 1\n[^]*\nno deferred renames\n)");
  EXPECT_TRUE(eventually([&] { return std::regex_search(withoutCarriageReturns(readFile("update.log")), rerun); }));
}
