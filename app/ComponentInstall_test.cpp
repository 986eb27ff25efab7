#include <gtest/gtest.h>

#include <cstring>

#include "catalogue/UpdatePlan.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

// The outcomes by target (missing, writable, read-only) and forceReadOnly. A
// stop right after the exchange rename (a kill there) leaves the final
// attributes: they were set while the file was still the download.
TEST(ComponentInstall, TheNewFileBecomesTheTargetWithTheOldAttributesAndReadOnlyWhereAsked) {
  // The target (nullptr: none yet), the attributes the log shows and those after, whether the run stops right
  // after the exchange.
  struct Case { std::string name; bool forceReadOnly; const char* target; bool targetReadOnly; const char* logged;
                uint32_t attributes; bool stopped = false; };
  const Case cases[] = {{"a.bin", false, nullptr, false, "ffffffff", kArchiveAttribute},
                        {"sub/b.bin", true, nullptr, false, "ffffffff", kReadOnlyAttribute | kArchiveAttribute},
                        {"c.dll", false, "old", true, "21", kReadOnlyAttribute | kArchiveAttribute},
                        {"d.dll", true, "old", false, "20", kReadOnlyAttribute | kArchiveAttribute},
                        {"e.dat", false, "old", true, "21", kReadOnlyAttribute | kArchiveAttribute, true},
                        {"f.dat", true, "old", false, "20", kReadOnlyAttribute | kArchiveAttribute, true}};
  UpdaterFixture updater({{"debugdelay", "0x2"}});
  for (const Case& c : cases) {
    RecordedDelays delays;
    SCOPED_TRACE(c.name);
    Module module = makeModule(c.name, c.forceReadOnly);
    if (c.target != nullptr) writeFile(c.name, c.target);
    if (c.targetReadOnly) {
      makeReadOnly(c.name);
      writeFile(c.name + ".old", "left by an earlier installation");
    }
    writeFile(c.name + ".new", "new");
    LogCapture log;
    std::vector<std::string> lines = {"installing component " + c.name,
                                      "file attributes for " + c.name + " = " + c.logged};
    if (c.stopped) {
      StoppingRename stop(".new");
      EXPECT_THROW(updater->installComponent(module), RunStopped);
    } else {
      updater->installComponent(module);
      if (c.targetReadOnly) lines.push_back("clearing read-only flag");  // on the backup
      lines.push_back("dd = 0x2");  // the debug delay follows an exchange
    }
    EXPECT_EQ(log.lines(), lines);
    EXPECT_EQ(delays.requested, c.stopped ? std::vector<uint32_t>{} : std::vector<uint32_t>{2000});
    EXPECT_EQ(contentsOf({c.name, c.name + ".new", c.name + ".old"}), c.stopped ? "new|-|old" : "new|-|-");
    EXPECT_EQ(readFileAttributes(c.name).word, c.attributes);
    EXPECT_TRUE(updater->deferredRenames.empty());
  }
}

// A target in use is deferred with its entry and no delay: the script must
// delete the target, its replacement already carries the flag. Only the
// updater's own file suppresses the launch; Windows takes any spelling of its name.
TEST(ComponentInstall, ATargetInUseIsDeferredAndOnlyTheUpdatersOwnSuppressesTheLaunch) {
  UpdaterFixture updater({{"debugdelay", "1"}});
  RecordedDelays delays;
  const std::string self = kUpdaterExecutable;
  std::string capitalised = self;
  capitalised[0] = static_cast<char>(capitalised[0] - 'a' + 'A');
  for (const std::string& name :
       {std::string("client.dll"), capitalised, self.substr(0, self.size() - 1), "sub/" + self, self + "x", self}) {
    const bool forced = name == "client.dll";
    Module module = makeModule(name, forced);
    writeFile(name, "old");
    if (forced) makeReadOnly(name);
    writeFile(name + ".new", "new");
    FailingRename busy(name, EBUSY);
    updater->updaterRenameDeferred = false;
    updater->installComponent(module);
    EXPECT_EQ(updater->updaterRenameDeferred, name == self || (onWindows() && name == capitalised)) << name;
    EXPECT_EQ(updater->deferredRenames[name + ".new"], name);
    EXPECT_EQ(contentsOf({name, name + ".new"}), "old|new");
    EXPECT_EQ(readFileAttributes(name).word, kArchiveAttribute) << name;
    EXPECT_EQ(readFileAttributes(name + ".new").readOnly(), forced) << name;
  }
  EXPECT_EQ(updater->deferredRenames.size(), 6u);
  EXPECT_TRUE(delays.requested.empty());
}

TEST(ComponentInstall, AFailedExchangeLeavesTheOldContentUnderTheBackupName) {
  UpdaterFixture updater;
  Module module = makeModule("a.dll");
  writeFile("a.dll", "old");
  makeReadOnly("a.dll");
  writeFile("a.dll.new", "new");
  FailingRename full("a.dll.new", ENOSPC);
  EXPECT_EQ(failureText([&] { updater->installComponent(module); }),
            std::string("rename a.dll.new to a.dll: ") + std::strerror(ENOSPC));
  EXPECT_EQ(contentsOf({"a.dll", "a.dll.old", "a.dll.new"}), "-|old|new");
  EXPECT_TRUE(readFileAttributes("a.dll.old").readOnly());  // the repair renames it back as it was
  EXPECT_TRUE(updater->deferredRenames.empty());
}
