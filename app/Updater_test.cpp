#include "app/Updater.h"

#include <gtest/gtest.h>

#include <vector>

#include "catalogue/UpdatePlan.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

std::vector<std::string> namesOf(const ModuleList& list) {
  std::vector<std::string> names;
  list.forEach([&](Module& module) { names.push_back(module.name); });
  return names;
}

void readText(ModuleList& list, const std::string& xml) { list.readMemory(xml.data(), xml.size()); }

}  // namespace

TEST(Updater, BuildDownloadQueuePlansAndStartsTheUpdaterItselfWhenItIsOutOfDate) {
  ScopedWorkingDirectory dir;
  writeFile("UpdaterIni.xml", "<UpdaterIni><autoStart>client.exe</autoStart></UpdaterIni>");
  const std::string executable = kUpdaterExecutable;
  ModuleList installed;
  readText(installed, "<modules><module name=\"client.exe\" version=\"1.0\"/>"
                      "<module name=\"" + executable + "\" version=\"1.0\"/></modules>");

  {
    Updater updater;
    EXPECT_EQ(updater.status.stage, Starting);
    EXPECT_FALSE(updater.updaterRenameDeferred);
    ModuleList available;
    readText(available, "<modules><module name=\"client.exe\" version=\"1.1\"/>"
                        "<module name=\"data.pak\" version=\"1\" critical=\"false\"/>"
                        "<module name=\"" + executable + "\" version=\"1.0\"/></modules>");
    updater.buildDownloadQueue(installed, available);
    EXPECT_EQ(namesOf(updater.status.downloadQueue), (std::vector<std::string>{"client.exe", "data.pak"}));
    EXPECT_EQ(updater.settings.get("autoStart"), "client.exe");
  }
  {
    Updater updater;
    ModuleList available;
    readText(available, "<modules><module name=\"client.exe\" version=\"1.1\"/>"
                        "<module name=\"" + executable + "\" version=\"1.1\" critical=\"false\"/></modules>");
    updater.buildDownloadQueue(installed, available);
    EXPECT_EQ(namesOf(updater.status.downloadQueue), std::vector<std::string>{executable});
    EXPECT_TRUE(updater.status.downloadQueue.find(executable)->critical);
    EXPECT_EQ(updater.settings.get("autoStart"), executable);
  }
}
