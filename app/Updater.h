#pragma once
#include <map>
#include <string>

#include "settings/UpdaterIni.h"

// The program's version, also sent in the HTTP user agent.
constexpr const char* kUpdaterVersion = "2.5.1vesmar";

// The one application object: the settings, and the run's record of renames that
// had to wait for their targets to be released.
class Updater {
 public:
  // Reads the settings first (may throw IOException), then writes the first log line.
  Updater();

  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  UpdaterIni settings;
  // Downloaded file ("NAME.new") -> the target it must replace, in byte order.
  std::map<std::string, std::string> deferredRenames;
  bool updaterRenameDeferred;
};
