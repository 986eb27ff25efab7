#include <windows.h>

#include <gtest/gtest.h>

#include "tests/HeldFile_win.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

TEST(ComponentInstallWin, ATargetHeldWithoutDeleteSharingIsDeferred) {
  UpdaterFixture updater;
  Module client = makeModule("client.dll");
  Module self = makeModule("updater.exe");
  for (const char* name : {"client.dll", "updater.exe"}) {
    writeFile(name, "old");
    writeFile(std::string(name) + ".new", "new");
  }
  {
    HeldFile heldClient("client.dll");
    ASSERT_TRUE(heldClient.held());
    updater->installComponent(client);
    EXPECT_FALSE(updater->updaterRenameDeferred);
    HeldFile heldSelf("updater.exe");
    ASSERT_TRUE(heldSelf.held());
    updater->installComponent(self);
  }
  EXPECT_EQ(updater->deferredRenames, (std::map<std::string, std::string>{{"client.dll.new", "client.dll"},
                                                                         {"updater.exe.new", "updater.exe"}}));
  EXPECT_TRUE(updater->updaterRenameDeferred);
  for (const char* name : {"client.dll", "updater.exe"}) {
    EXPECT_EQ(readFile(name), "old");
    EXPECT_EQ(readFile(std::string(name) + ".new"), "new");
  }
}
