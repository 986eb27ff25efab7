// updater-publish: what it writes is read back with the updater's own classes.
#include "tools/Publish.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "catalogue/ModuleList.h"
#include "catalogue/UpdatePlan.h"
#include "settings/MaintenanceReport.h"
#include "tests/Modules.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
const std::string kBase = "http://cdn.example.com/game";

// Publishes release/ (files given as name -> bytes, written afresh) into out/.
PublishSummary publish(const std::vector<std::pair<std::string, std::string>>& files, PublishOptions options = {}) {
  removeTree("release");
  for (const auto& file : files) writeFile("release/" + file.first, file.second);
  options.releaseFolder = "release";
  if (options.outputFolder.empty()) options.outputFolder = "out";
  options.baseUrl = kBase + "/";
  options.quiet = true;
  std::ostringstream progress;
  return publishRelease(options, progress);
}

// "added changed unchanged bytes" of a summary.
std::string countsOf(const PublishSummary& summary) {
  return std::to_string(summary.added) + " " + std::to_string(summary.changed) + " " +
         std::to_string(summary.unchanged) + " " + std::to_string(summary.bytes);
}
}  // namespace

// Nested, blank and non-ASCII names laid out, escaped in the addresses and
// fetched by the real updater: the round trip (roundtrip_test.sh).
TEST(Publish, RecordsRulesLengthsAndDigestsAndTheWindowsBuildRefusesNamesBeyondAscii) {
  ScopedWorkingDirectory dir;
  PublishOptions options;
  options.rules.add(PublishRules::NonCritical, "data/**");
  options.rules.add(PublishRules::ReadOnly, "*.dll");
  // The Windows updater refuses names beyond ASCII (its file calls would garble
  // them), and so does the publisher built for it.
  if (onWindows()) {
    EXPECT_THROW(publish({{"data/\xc3\xa9t\xc3\xa9.txt", "x"}}, options), IOException);
  }
  EXPECT_EQ(countsOf(publish({{"game.dll", "abc"}, {"data/maps/level 1.map", ""}}, options)), "2 0 0 3");
  ModuleList list;
  list.readFile("out/modules.xml");
  EXPECT_EQ(namesOf(list), (std::vector<std::string>{"data/maps/level 1.map", "game.dll"}));
  EXPECT_EQ(fieldsOf(list.find("data/maps/level 1.map")),
            "1.0 d41d8cd98f00b204e9800998ecf8427e e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855 " +
                kBase + "/files/data/maps/level%201.map 0 0 0 0");
  EXPECT_EQ(fieldsOf(list.find("game.dll")),
            "1.0 900150983cd24fb0d6963f7d28e17f72 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad " +
                kBase + "/files/game.dll 1 1 3 0");
  EXPECT_EQ(readFile("out/files/game.dll"), "abc");
}

TEST(Publish, VersionsCarryOnFromThePreviousListSoOnlyChangedAndNewFilesAreFetched) {
  ScopedWorkingDirectory dir;
  publish({{"same.dat", "s"}, {"changed.dat", "v1"}, {"gone.dat", "g"}});
  ModuleList firstInstall;
  firstInstall.readFile("out/installed.xml");
  // Into the same folder (its list is the previous one), and into another.
  for (const char* output : {"out2", "out"}) {
    PublishOptions options;
    options.outputFolder = output;
    options.previousList = output == std::string("out2") ? "out/modules.xml" : "";
    PublishSummary summary = publish({{"same.dat", "s"}, {"changed.dat", "v2"}, {"new.dat", "n"}}, options);
    EXPECT_EQ(countsOf(summary), "1 1 1 4");
    EXPECT_EQ(summary.gone, std::vector<std::string>{"gone.dat"});
  }
  EXPECT_EQ(recordsOf("out2/modules.xml"),
            (std::vector<std::string>{"changed.dat=1.1", "new.dat=1.0", "same.dat=1.0"}));
  ModuleList second, queue;
  second.readFile("out2/modules.xml");
  planDownloadQueue(queue, firstInstall, second);
  EXPECT_EQ(namesOf(queue), (std::vector<std::string>{"changed.dat", "new.dat"}));
  // Both took release 1's copy of the unchanged file, linked; the changed one (of the same size) is new.
  EXPECT_TRUE(std::filesystem::equivalent("out/files/same.dat", "out2/files/same.dat"));
  EXPECT_EQ(contentsOf({"out2/files/changed.dat", "out2/files/gone.dat", "out.new"}), "v2|-|-");
}

TEST(Publish, AChangedFileGetsTheNextVersionTheUpdaterRanksNewer) {
  const std::pair<const char*, const char*> cases[] = {
      {"1.9", "1.10"}, {"1", "1.1"}, {"3.0.7", "3.1"}, {"x2.1", "0.2"},
      {"2147483647", "1.0"},    // ten characters: (0, 2147483647)
      {"1.9999999", "2.0"},  // "1.10000000" would be ten characters: (0, 1)
  };
  for (const auto& each : cases) EXPECT_EQ(nextVersion(ModuleVersion(each.first)), each.second) << each.first;
  EXPECT_THROW(nextVersion(ModuleVersion("999999999")), IOException);
}

TEST(Publish, RefusesWhatTheUpdaterWouldRefuseAndLeavesThePreviousOutputAsItWas) {
  ScopedWorkingDirectory dir;
  publish({{"a.dat", "1"}});
  const std::string before = readFile("out/modules.xml");
  // previous: a list to publish against, when not empty; said: a part of the failure's text; caseSensitive: the
  // names need a file system that tells letter case apart.
  struct Case { std::vector<std::pair<std::string, std::string>> files; std::string previous, said;
                bool caseSensitive; };
  const Case cases[] = {
      {{{"Data/x.dat", "1"}, {"data/y.dat", "2"}}, "", "differ only in letter case", true},
      {{{"a.dat", "1"}, {"A.DAT", "2"}}, "", "A.DAT and a.dat", true},
      {{{"a:b.dat", "1"}}, "", "names the updater refuses", true},
      {{{"b.dat", "1"}, {"b.dat.new", "2"}, {"update.log", "3"}}, "", "refuses to install:\n  b.dat.new\n  update.log",
       false},
      {{{"a.dat", "2"}}, "<modules><module name=\"a.dat\" version=\"999999999\"/></modules>",
       "a.dat: no version ranks newer than \"999999999\"", false},
  };
  for (const Case& each : cases) {
    // Windows file systems refuse these names themselves.
    if (each.caseSensitive && onWindows()) continue;
    PublishOptions options;
    writeFile("previous.xml", each.previous);
    options.previousList = each.previous.empty() ? "" : "previous.xml";
    const std::string failure = failureText([&] { publish(each.files, options); });
    EXPECT_NE(failure.find(each.said), std::string::npos) << failure << " wants " << each.said;
    EXPECT_EQ(contentsOf({"out/modules.xml", "out.new"}), before + "|-");
  }
  PublishOptions inside;
  inside.outputFolder = "release/out";
  EXPECT_THROW(publish({{"a.dat", "1"}}, inside), IOException);
}

TEST(Publish, RulesMatchGlobsOverWholeNames) {
  const std::tuple<const char*, const char*, bool> cases[] = {
      {"*.dll", "a.dll", true},          {"*.dll", "bin/a.dll", false},   {"**/*.dll", "a.dll", true},
      {"**/*.dll", "bin/x/a.dll", true}, {"data/**", "data/a/b", true},   {"data/**", "database", false},
      {"a?c", "abc", true},              {"a?c", "a/c", false},           {"Data/*", "data/x", false},
  };
  for (const auto& each : cases)
    EXPECT_EQ(globMatches(std::get<0>(each), std::get<1>(each)), std::get<2>(each))
        << std::get<0>(each) << " " << std::get<1>(each);
  ScopedWorkingDirectory dir;
  writeFile("rules.txt", "# critical by default\nnon-critical music/**\r\n\ncritical music/theme.ogg\nread-only *.exe\n");
  PublishRules rules;
  rules.readFile("rules.txt");
  EXPECT_FALSE(rules.critical("music/a.ogg"));
  EXPECT_TRUE(rules.critical("music/theme.ogg"));
  EXPECT_TRUE(rules.readOnly("game.exe"));
  EXPECT_FALSE(rules.readOnly("music/theme.ogg"));
  for (const char* bad : {"critcal *.dll\n", "read-only\n"}) {
    writeFile("bad.txt", bad);
    EXPECT_THROW(PublishRules().readFile("bad.txt"), IOException) << bad;
  }
}

TEST(Publish, TheProgramPublishesWritesTheMaintenanceAnswerAndRejectsBadUsage) {
  ScopedWorkingDirectory dir;
  writeFile("release/client.dat", "c");
  auto tool = [](const std::vector<std::string>& arguments) { return runTool("updater-publish", arguments); };
  writeFile("rules.txt", "# everything is critical unless said otherwise\nnon-critical *.dat\n");
  ProcessResult published = tool({"--base-url", kBase, "--rules", "rules.txt", "release", "out"});
  EXPECT_EQ(published.exitCode, 0) << published.standardError;
  EXPECT_EQ(published.standardOutput, "published 1 modules (1 new, 0 changed, 0 unchanged), 1 bytes, in out\n"
                                     "updateServer: " + kBase + "/modules.xml\n");
  ModuleList list;
  list.readFile("out/modules.xml");
  EXPECT_FALSE(list.find("client.dat")->critical);

  ProcessResult answered = tool({"maintenance", "--status", "Down", "--message", "Back at 6 & <soon>", "mm.xml"});
  EXPECT_EQ(answered.exitCode, 0) << answered.standardError;
  TestServer server;
  server.setRoute("/mm", readFile("mm.xml"));
  MaintenanceReport report;
  report.query(server.baseUrl() + "/mm");
  EXPECT_FALSE(report.updatesAllowed());
  EXPECT_EQ(report.message, "Back at 6 & <soon>");

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {}, {"release", "out"}, {"publish", "--base-url", kBase, "release"}, {"--base-url", kBase, "--bogus", "a", "b"}})
    EXPECT_EQ(tool(bad).exitCode, 2);
}
