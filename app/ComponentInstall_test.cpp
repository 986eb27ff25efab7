#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "app/DebugDelay.h"
#include "app/FileSystem.h"
#include "catalogue/UpdatePlan.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
uint32_t attributesOf(const std::string& path) { return readFileAttributes(path).word; }

void makeReadOnly(const std::string& path) {
  FileAttributes attributes = readFileAttributes(path);
  ASSERT_TRUE(writeFileAttributes(path, attributes.withWord(attributes.word | kReadOnlyAttribute)));
}

// Makes every rename of the given source fail with the given error.
class FailingRename {
 public:
  FailingRename(const std::string& source, int error) {
    setRenameFunctionForTesting([source, error](const std::string& from, const std::string& to) {
      if (from == source) {
        errno = error;
        return -1;
      }
      return std::rename(from.c_str(), to.c_str());
    });
  }
  ~FailingRename() { setRenameFunctionForTesting(nullptr); }
};

class RecordedDelays {
 public:
  RecordedDelays() { setDelayFunctionForTesting([this](uint32_t ms) { requested.push_back(ms); }); }
  ~RecordedDelays() { setDelayFunctionForTesting(nullptr); }
  std::vector<uint32_t> requested;
};
}  // namespace

TEST(ComponentInstall, ANewModuleBecomesTheTargetWithoutABackup) {
  UpdaterFixture updater;
  Module module = makeModule("a.bin");
  writeFile("a.bin.new", "new");
  LogCapture log;
  updater->installComponent(module);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"installing component a.bin", "file attributes for a.bin = ffffffff"}));
  EXPECT_EQ(readFile("a.bin"), "new");
  EXPECT_FALSE(fileExists("a.bin.new"));
  EXPECT_FALSE(fileExists("a.bin.old"));
  EXPECT_EQ(attributesOf("a.bin"), kArchiveAttribute);
  EXPECT_TRUE(updater->deferredRenames.empty());
  EXPECT_EQ(updater->status.stage, InstallingModule);
  EXPECT_EQ(updater->status.subject, &module);
}

TEST(ComponentInstall, ANewForcedReadOnlyModuleIsExactlyReadOnlyAndArchive) {
  UpdaterFixture updater;
  Module module = makeModule("sub/a.bin", true);
  writeFile("sub/a.bin.new", "new");
  updater->installComponent(module);
  EXPECT_EQ(readFile("sub/a.bin"), "new");
  EXPECT_EQ(attributesOf("sub/a.bin"), kReadOnlyAttribute | kArchiveAttribute);
}

TEST(ComponentInstall, AReadOnlyTargetIsClearedExchangedAndTheNewFileReadOnlyAgain) {
  UpdaterFixture updater;
  Module module = makeModule("a.dll");
  writeFile("a.dll", "old");
  makeReadOnly("a.dll");
  writeFile("a.dll.new", "new");
  writeFile("a.dll.old", "left by an earlier installation");
  LogCapture log;
  updater->installComponent(module);
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"installing component a.dll", "file attributes for a.dll = 21",
                                                   "clearing read-only flag"}));
  EXPECT_EQ(readFile("a.dll"), "new");
  EXPECT_EQ(attributesOf("a.dll"), kReadOnlyAttribute | kArchiveAttribute);
  EXPECT_FALSE(fileExists("a.dll.new"));
  EXPECT_FALSE(fileExists("a.dll.old"));
}

TEST(ComponentInstall, AWritableTargetWithForceReadOnlyGivesTheOldAttributesPlusReadOnly) {
  UpdaterFixture updater;
  Module module = makeModule("a.dll", true);
  writeFile("a.dll", "old");
  writeFile("a.dll.new", "new");
  LogCapture log;
  updater->installComponent(module);
  EXPECT_EQ(log.lines()[1], "file attributes for a.dll = 20");
  EXPECT_EQ(log.lines().size(), 2u);
  EXPECT_EQ(readFile("a.dll"), "new");
  EXPECT_EQ(attributesOf("a.dll"), kReadOnlyAttribute | kArchiveAttribute);
}

TEST(ComponentInstall, ATargetInUseIsDeferredWithItsEntryAndNoDelay) {
  UpdaterFixture updater({{"debugdelay", "1"}});
  RecordedDelays delays;
  Module module = makeModule("client.dll", true);
  writeFile("client.dll", "old");
  makeReadOnly("client.dll");
  writeFile("client.dll.new", "new");
  FailingRename busy("client.dll", EBUSY);
  updater->installComponent(module);
  EXPECT_EQ(updater->deferredRenames, (std::map<std::string, std::string>{{"client.dll.new", "client.dll"}}));
  EXPECT_FALSE(updater->updaterRenameDeferred);
  EXPECT_EQ(readFile("client.dll"), "old");
  EXPECT_EQ(readFile("client.dll.new"), "new");
  EXPECT_EQ(attributesOf("client.dll"), kArchiveAttribute);  // cleared on the way, never set again
  EXPECT_TRUE(delays.requested.empty());
}

TEST(ComponentInstall, OnlyTheUpdatersOwnExecutableSuppressesTheLaunch) {
  UpdaterFixture updater;
  const std::string self = kUpdaterExecutable;
  std::string capitalised = self;
  capitalised[0] = static_cast<char>(capitalised[0] - 'a' + 'A');
  for (const std::string& name : {capitalised, self.substr(0, self.size() - 1), "sub/" + self, self + "x"}) {
    Module other = makeModule(name);
    writeFile(name, "old");
    writeFile(name + ".new", "new");
    FailingRename busy(name, EBUSY);
    updater->installComponent(other);
    EXPECT_FALSE(updater->updaterRenameDeferred) << name;
  }
  Module module = makeModule(self);
  writeFile(self, "old");
  writeFile(self + ".new", "new");
  FailingRename busy(self, EBUSY);
  updater->installComponent(module);
  EXPECT_TRUE(updater->updaterRenameDeferred);
  EXPECT_EQ(updater->deferredRenames.size(), 5u);
  EXPECT_EQ(updater->deferredRenames[self + ".new"], self);
}

TEST(ComponentInstall, AFailedExchangeLeavesTheOldContentUnderTheBackupName) {
  UpdaterFixture updater;
  Module module = makeModule("a.dll");
  writeFile("a.dll", "old");
  writeFile("a.dll.new", "new");
  FailingRename full("a.dll.new", ENOSPC);
  try {
    updater->installComponent(module);
    FAIL() << "no exception";
  } catch (const IOException& e) {
    EXPECT_EQ(e, std::string("rename a.dll.new to a.dll: ") + std::strerror(ENOSPC));
  }
  EXPECT_FALSE(fileExists("a.dll"));
  EXPECT_EQ(readFile("a.dll.old"), "old");
  EXPECT_EQ(readFile("a.dll.new"), "new");
  EXPECT_TRUE(updater->deferredRenames.empty());
}

TEST(ComponentInstall, TheDebugDelayFollowsAnExchange) {
  UpdaterFixture updater({{"debugdelay", "0x2"}});
  RecordedDelays delays;
  Module module = makeModule("a.bin");
  writeFile("a.bin.new", "new");
  LogCapture log;
  updater->installComponent(module);
  EXPECT_EQ(log.lines().back(), "dd = 0x2");
  EXPECT_EQ(delays.requested, std::vector<uint32_t>{2000});
}
