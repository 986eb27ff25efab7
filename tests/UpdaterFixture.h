#pragma once
// An Updater in a scratch installation directory, with the settings a test gives.
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>

#include "app/Updater.h"
#include "catalogue/Module.h"
#include "support/Exceptions.h"
#include "tests/TestSupport.h"

namespace testing_support {

class UpdaterFixture {
 public:
  // Settings as key/value pairs, written to "UpdaterIni.xml" before the Updater reads them.
  UpdaterFixture(std::initializer_list<std::pair<std::string, std::string>> settings = {}) {
    std::string text = "<UpdaterIni>\n";
    for (const auto& setting : settings) {
      text += "<" + setting.first + ">" + setting.second + "</" + setting.first + ">\n";
    }
    writeFile("UpdaterIni.xml", text + "</UpdaterIni>\n");
    updater.reset(new Updater());
  }
  UpdaterFixture(const UpdaterFixture&) = delete;
  UpdaterFixture& operator=(const UpdaterFixture&) = delete;
  Updater& operator*() { return *updater; }
  Updater* operator->() { return updater.get(); }

 private:
  ScopedWorkingDirectory directory;  // made first, left last
  std::unique_ptr<Updater> updater;
};

inline Module makeModule(const std::string& name, bool forceReadOnly = false, const std::string& url = "",
                         const std::string& md5sum = "", const std::string& version = "1.0") {
  return Module(name.c_str(), version.c_str(), url.c_str(), md5sum.c_str(), "true",
                forceReadOnly ? "true" : "false", nullptr);
}

}  // namespace testing_support
