#pragma once
#include <atomic>
#include <map>
#include <set>
#include <string>

#include "catalogue/ModuleList.h"
#include "net/URL.h"
#include "settings/UpdaterIni.h"
#include "status/UpdateStatus.h"
#include "support/Mutex.h"
#include "support/Version.h"

// The program's version, also sent in the HTTP user agent.
constexpr const char* kUpdaterVersion = UPDATER_VERSION;

// What an earlier, interrupted run left of a queued module's work.
enum class EarlierWork {
  None,        // fetch and install as usual
  Downloaded,  // a complete "NAME.new" with the announced content: install it
  Installed,   // the target already holds the announced content
};

// The most modules a parallel walk downloads at once.
constexpr unsigned kMaxParallelDownloads = 16;
// The "parallelDownloads" setting as a number of modules at once: 1 unless the
// text is a decimal number above 1 (blanks around it allowed), at most
// kMaxParallelDownloads.
unsigned parallelDownloadsOf(const std::string& text);

// Thrown inside a transfer of a parallel walk that stops because another one failed.
struct DownloadStopped {};

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
  // One pass: with "parallelDownloads" above 1, that many modules at once.
  void fetchAndInstallModules(bool critical);
  // Workers (threads of their own) each take the next module, fetch it and
  // install it under installLock. The first failure stops the others at their
  // next piece of body and is thrown here once all have ended; a module that
  // was not installed by then stays as it is (a verified ".new" included).
  void fetchAndInstallInParallel(bool critical, unsigned workers);
  // The module-list query: the server's URL and the seven parameters, verbatim.
  std::string moduleListQuery() const;

  // The plan (UpdatePlan in the catalogue).
  void buildDownloadQueue(ModuleList& installed, ModuleList& available);
  void preferSelfUpdate();

  // The file work (ComponentDownload.cpp, ComponentInstall.cpp, Commit.cpp, Launch.cpp).
  // Tries again after a failure that may pass. A shorter "NAME.new" (left by
  // a kill or an earlier try) is continued where the server agrees to send the
  // rest and the file can be proven (a digest, or the server's validator from an
  // earlier try); a continued file that fails its digest starts over once.
  void fetchComponent(Module& module);
  // One try; `tries` carries what the earlier tries of this module learned.
  struct DownloadTries;
  void downloadOnce(Module& module, FetchFailure& failure, DownloadTries& tries);
  void ensureDirectoryExistsForPath(const std::string& path);
  // The downloaded bytes are on the disk already: the download or the takeover
  // of an earlier run's file synced them.
  void installComponent(Module& module);
  void commitInstalledModules(ModuleList& installed, ModuleList& queue);
  void autoStartProcess(const std::string& program);
  void startDeferredRenames();
  // Before the installed list is read: a commit stopped between its two renames
  // left only the backup; it becomes the modules file again.
  void restoreInterruptedCommit();
  // Before the plan: a module file missing while its backup exists is renamed
  // back ("restored %s from %s"); a backup beside its file is removed. Throws
  // IOException when a backup cannot take its name back.
  void repairInterruptedInstallations(const ModuleList& installed, const ModuleList& available);
  // After the plan: removes the "NAME.new" files of known modules nothing will use.
  void removeUnusedDownloads(const ModuleList& installed, const ModuleList& available);
  // Before a queued module is fetched: the target or a "NAME.new" that already
  // has the announced length and MD5 is taken as it is (one log line); a whole
  // but wrong "NAME.new" is removed, a shorter one kept for the download. A
  // "NAME.new" taken is synced, as a download syncs the file it writes.
  EarlierWork findEarlierWork(Module& module);

  UpdaterIni settings;
  UpdateStatus status;
  // Downloaded file ("NAME.new") -> the target it must replace, in byte order.
  std::map<std::string, std::string> deferredRenames;
  bool updaterRenameDeferred;
  // Directories where installComponent renamed files since the last commit.
  std::set<std::string> renamedDirectories;

  // A parallel walk's: set when one transfer failed, so that the others stop.
  std::atomic<bool> downloadsStopped{false};
  // Taken around what workers of a parallel walk must not do together: the
  // directory making of a download, and every installation.
  Mutex directoryLock;
  Mutex installLock;
};
