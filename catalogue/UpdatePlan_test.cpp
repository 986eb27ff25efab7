#include "catalogue/UpdatePlan.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

TEST(UpdatePlan, QueuesNewAndOlderModulesUnlessTheirChecksumsAgreeInTheServersOrder) {
  // The installed record (no version: none), the available one, whether it is queued, and both sha256.
  struct Case { const char *name, *installedVersion, *installedSum, *availableVersion, *availableSum; bool queued;
                const char *installedSha256, *availableSha256; } cases[] = {
      {"minor-ten", "1.2", nullptr, "1.10", nullptr, true, nullptr, nullptr},
      {"third-part", "1.0", nullptr, "1.0.1", nullptr, false, nullptr, nullptr},
      {"downgrade", "2.0", "aa", "1.9", "bb", false, nullptr, nullptr},
      {"same", "1.0", nullptr, "1.0", nullptr, false, nullptr, nullptr},
      {"equal-sums", "1.0", "abc", "1.1", "abc", false, nullptr, nullptr},
      {"installed-sum-empty", "1.0", nullptr, "1.1", "abc", true, nullptr, nullptr},
      {"available-sum-empty", "1.0", "abc", "1.1", nullptr, true, nullptr, nullptr},
      {"different-sums", "1.0", "abc", "1.1", "abd", true, nullptr, nullptr},
      {"sums-differ-in-case", "1.0", "ABC", "1.1", "abc", true, nullptr, nullptr},
      {"ten-digits", "1.0", nullptr, "1234567890", nullptr, false, nullptr, nullptr},
      {"new", nullptr, nullptr, "0.1", nullptr, true, nullptr, nullptr},
      {"new-older-than-nothing", nullptr, nullptr, "", nullptr, true, nullptr, nullptr},
      {"equal-sha256-decides", "1.0", "abc", "1.1", "abd", false, "5C", "5c"},
      {"different-sha256-decides", "1.0", "abc", "1.1", "abc", true, "5c", "5d"},
      {"one-sha256-md5-decides", "1.0", "abc", "1.1", "abc", false, nullptr, "5c"},
  };
  ModuleList installed, available;
  addModule(installed, "installed-only", true, "1.0");
  for (const Case& c : cases) {
    if (c.installedVersion == nullptr) continue;
    addModule(installed, c.name, true, c.installedVersion, c.installedSum);
    if (c.installedSha256 != nullptr) installed.find(c.name)->sha256 = c.installedSha256;
  }
  // The server's order is the reverse of the table's: the queue must keep it.
  for (auto c = std::rbegin(cases); c != std::rend(cases); ++c) {
    Module* module = available.add(std::make_unique<Module>(c->name, c->availableVersion, "http://host/file",
                                                            c->availableSum, "false", "1", "42"));
    if (c->availableSha256 != nullptr) module->sha256 = c->availableSha256;
  }
  ModuleList queue;
  LogCapture log;
  planDownloadQueue(queue, installed, available);

  std::vector<std::string> expected;
  for (auto c = std::rbegin(cases); c != std::rend(cases); ++c)
    if (c->queued) expected.push_back(c->name);
  EXPECT_EQ(namesOf(queue), expected);
  EXPECT_NE(queue.find("minor-ten"), available.find("minor-ten"));  // a copy
  EXPECT_EQ(fieldsOf(queue.find("minor-ten")), "1.10   http://host/file 0 1 42 " + std::to_string(Pending));
  EXPECT_EQ(installed.size(), 14u);
  EXPECT_EQ(available.size(), 15u);
  EXPECT_EQ(log.text(), "");
}

TEST(UpdatePlan, RefusesNamesThatWouldReachOutsideTheInstallationOrHitAnotherFile) {
  const std::vector<std::string> unsafeEverywhere = {
      "",           "/etc/passwd", "\\Windows\\system.ini", "C:/autoexec.bat", "c:client.exe", "file:ads",
      "..",         "../outside",  "data/../../up",         "data\\..\\..\\up",  "data/..",      "a/../b",
      "//server/x", "./here",      "data/./x",              ".",               "a//b",         "a\\\\b",
      "dir/",       "dir\\",       "tab\tname",            "soh\x01name",     "del\x7f",       "esc\x1b[0m",
      "modules.xml", "modules.xml.new", "modules.xml.old", "update.log", "script", "client.exe.new",
      "client.exe.old", "kept.dat", "data\\...\\x", "data/.. /x"};
  const std::vector<std::string> unsafeOnWindows = {
      "Client.exe",  "data\\sub/file.dat", "NUL",        "con.txt",   "data/Com1.log", "lpt9",     "aux.dat.x",
      "name.",       "name ",              "data. /x",   "data.. /x", "caf\xc3\xa9.dat",
      "a*b",         "a?b",                "a<b",        "a|b"};
  const std::vector<std::string> safe = {"client.exe", "data/sub/file.dat", "..hidden", "name..x", "a.b/c..d",
                                         "com10",      "console.dat",        "nul_",     "kept.dat.sig"};
  std::vector<std::string> refused = unsafeEverywhere, taken = safe;
  (onWindows() ? refused : taken).insert((onWindows() ? refused : taken).end(), unsafeOnWindows.begin(),
                                         unsafeOnWindows.end());
  ModuleList installed, available;
  // Installed records are never used as paths: they stay as read.
  addModules(installed, {"/etc/passwd", "kept.dat.new"});
  for (const auto* names : {&safe, &unsafeEverywhere, &unsafeOnWindows}) addModules(available, *names);
  ModuleList queue;
  LogCapture log;
  planDownloadQueue(queue, installed, available, {"modules.xml", "update.log", "script"});
  EXPECT_EQ(namesOf(queue), taken);
  std::vector<std::string> expectedLog;
  for (const std::string& name : refused) expectedLog.push_back("refusing module with unsafe name " + name);
  EXPECT_EQ(log.lines(), expectedLog);
  EXPECT_EQ(namesOf(installed), (std::vector<std::string>{"/etc/passwd", "kept.dat.new"}));
}

TEST(UpdatePlan, AHundredThousandModulesAndAFourThousandCharacterNameArePlannedLikeAnyOther) {
  std::string xml = "<modules>";
  for (int i = 0; i < 100000; ++i) xml += "<module name=\"data/m" + std::to_string(i) + ".dat\" version=\"2\"/>";
  const std::string longName = std::string(3996, 'n') + ".dat";
  xml += "<module name=\"" + longName + "\" version=\"2\"/><module name=\"data/m7.dat.new\" version=\"2\"/></modules>";
  ModuleList available;
  available.readMemory(xml.data(), xml.size());
  ModuleList installed;
  addModule(installed, "data/m99999.dat", true, "1");
  ModuleList queue;
  LogCapture log;
  planDownloadQueue(queue, installed, available);
  EXPECT_EQ(queue.size(), 100001u);
  EXPECT_NE(queue.find(longName), nullptr);
  EXPECT_NE(queue.find("data/m99999.dat"), nullptr);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"refusing module with unsafe name data/m7.dat.new"});
}

TEST(UpdatePlan, TheUpdatersOwnFilesTakePrecedenceAsTheOnlyCriticalModules) {
  const std::string executable = kUpdaterExecutable, settingsModule = kUpdaterSettingsModule;

  ModuleList queue;
  EXPECT_FALSE(preferSelfUpdateIn(queue));
  addModule(queue, "client.exe", true, "2");
  addModule(queue, settingsModule, false, "2");
  addModule(queue, "data.pak", false, "2");
  addModule(queue, executable, false, "2", "sum");
  Module* before = queue.find(executable);
  EXPECT_TRUE(preferSelfUpdateIn(queue));
  EXPECT_EQ(namesOf(queue), (std::vector<std::string>{executable, settingsModule}));
  EXPECT_NE(queue.find(executable), before);
  // Both made critical, the rest of each record kept.
  EXPECT_EQ(fieldsOf(queue.find(executable)) + "|" + fieldsOf(queue.find(settingsModule)),
            "2 sum   1 0 -1 0|2    1 0 -1 0");

  // Names are compared as the file system compares them: other spellings are
  // ordinary modules on Linux and the updater's own files on Windows.
  std::string capital = executable;
  capital[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(capital[0])));
  std::string otherSettings = settingsModule;
  otherSettings[0] = static_cast<char>(otherSettings[0] == 'u' ? 'U' : 'u');
  ModuleList ordinary;
  addModule(ordinary, "client.exe", true, "2");
  addModule(ordinary, capital, false, "2");
  addModule(ordinary, otherSettings, false, "2");
  addModule(ordinary, "data.pak", true, "2");
  EXPECT_EQ(preferSelfUpdateIn(ordinary), onWindows());
  EXPECT_EQ(namesOf(ordinary), onWindows() ? (std::vector<std::string>{capital, otherSettings})
                                           : (std::vector<std::string>{"client.exe", capital, otherSettings, "data.pak"}));
  EXPECT_EQ(ordinary.find(capital)->critical, onWindows());
}
