#include <windows.h>

#include <gtest/gtest.h>

#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
// Holds a file open the way a running program holds its own files: others may
// read and write, nobody may delete or rename it.
class HeldFile {
 public:
  explicit HeldFile(const std::string& path)
      : handle(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~HeldFile() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool held() const { return handle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle;
};
}  // namespace

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
