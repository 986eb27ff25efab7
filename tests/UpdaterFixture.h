#pragma once
// An Updater in a scratch installation directory, with the settings a test gives.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <memory>
#include <utility>

#include "app/DebugDelay.h"
#include "app/FileSystem.h"
#include "app/Updater.h"
#include "net/Retry.h"
#include "tests/Modules.h"
#include "tests/TestSupport.h"

namespace testing_support {

class UpdaterFixture {
 public:
  // Settings as key/value pairs, written to "UpdaterIni.xml" before the Updater reads them.
  UpdaterFixture(std::initializer_list<std::pair<std::string, std::string>> settings = {}) {
    writeFile("UpdaterIni.xml", settingsXml(settings));
    updater.reset(new Updater());
    // Retries are recorded, not waited out.
    setRetryPauseForTesting([this](uint32_t ms) { retryPauses.push_back(ms); });
  }
  ~UpdaterFixture() { setRetryPauseForTesting(nullptr); }
  Updater& operator*() { return *updater; }
  Updater* operator->() { return updater.get(); }
  std::vector<uint32_t> retryPauses;

 private:
  ScopedWorkingDirectory directory;  // made first, left last
  std::unique_ptr<Updater> updater;
};

// Sets the file's read-only flag.
inline void makeReadOnly(const std::string& path) {
  FileAttributes attributes = readFileAttributes(path);
  if (!writeFileAttributes(path, attributes.withWord(attributes.word | kReadOnlyAttribute))) ADD_FAILURE() << path;
}

// Routes every rename through the function while it lives.
struct ScopedRename {
  explicit ScopedRename(RenameFunction function) { setRenameFunctionForTesting(std::move(function)); }
  ~ScopedRename() { setRenameFunctionForTesting(nullptr); }
};

// Makes every rename of source (of any file when empty) fail with error while it lives.
struct FailingRename : ScopedRename {
  FailingRename(const std::string& source, int error)
      : ScopedRename([source, error](const std::string& from, const std::string& to) {
          if (!source.empty() && from != source) return std::rename(from.c_str(), to.c_str());
          errno = error;
          return -1;
        }) {}
};

// Stops the run (throws RunStopped) right after a rename of a name ending in
// suffix has been done, as a kill at that moment would, while it lives.
struct RunStopped {};
struct StoppingRename : ScopedRename {
  explicit StoppingRename(const std::string& suffix)
      : ScopedRename([suffix](const std::string& from, const std::string& to) {
          int result = std::rename(from.c_str(), to.c_str());
          if (from.size() >= suffix.size() && from.compare(from.size() - suffix.size(), suffix.size(), suffix) == 0)
            throw RunStopped();
          return result;
        }) {}
};

// Records the debug delays asked for instead of sleeping.
struct RecordedDelays {
  RecordedDelays() { setDelayFunctionForTesting([this](uint32_t ms) { requested.push_back(ms); }); }
  ~RecordedDelays() { setDelayFunctionForTesting(nullptr); }
  std::vector<uint32_t> requested;
};

}  // namespace testing_support
