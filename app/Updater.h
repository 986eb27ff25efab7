#pragma once
#include <map>
#include <string>

#include "catalogue/ModuleList.h"
#include "net/URL.h"
#include "settings/UpdaterIni.h"
#include "status/UpdateStatus.h"

// The program's version, also sent in the HTTP user agent.
constexpr const char* kUpdaterVersion = "2.5.1vesmar";

// The one application object: the settings, the run's status with its download
// queue, and the record of renames that had to wait for their targets.
class Updater {
 public:
  // Reads the settings first (may throw IOException), then writes the first log line.
  Updater();
  Updater(const Updater&) = delete;
  Updater& operator=(const Updater&) = delete;

  // The run (UpdateRun.cpp).
  void runUpdate();
  void fetchAndInstallModules(bool critical);
  // The module-list query: the server's URL and the seven parameters, verbatim.
  std::string moduleListQuery() const;

  // The plan (UpdatePlan in the catalogue).
  void buildDownloadQueue(ModuleList& installed, ModuleList& available);
  void preferSelfUpdate();

  // The file work (ComponentDownload.cpp, ComponentInstall.cpp, Commit.cpp, Launch.cpp).
  // Tries again after a failure that may pass, from the file's first byte.
  void fetchComponent(Module& module);
  void downloadOnce(Module& module, FetchFailure& failure);
  void ensureDirectoryExistsForPath(const std::string& path);
  void installComponent(Module& module);
  void commitInstalledModules(ModuleList& installed, ModuleList& queue);
  void autoStartProcess(const std::string& program);
  void startDeferredRenames();
  // Before the installed list is read: a commit stopped between its two renames
  // left only the backup; it becomes the modules file again.
  void restoreInterruptedCommit();

  UpdaterIni settings;
  UpdateStatus status;
  // Downloaded file ("NAME.new") -> the target it must replace, in byte order.
  std::map<std::string, std::string> deferredRenames;
  bool updaterRenameDeferred;
};
