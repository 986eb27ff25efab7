// Recording the run's result in the installed-modules file through the same
// new/backup exchange as the module files, so one complete list is always on disk.
#include <cerrno>
#include <cstring>
#include <memory>

#include "app/FileSystem.h"
#include "app/Updater.h"
#include "support/Exceptions.h"
#include "support/Log.h"

void Updater::commitInstalledModules(ModuleList& installed, ModuleList& queue) {
  // The file never claims more than the disk holds: a module whose file waits
  // for the deferred script, or that this run did not reach, keeps its previous
  // record (a new one stays out); a later run records it once its file is in place.
  ModuleList inPlace;
  queue.forEach([&](Module& module) {
    bool deferred = deferredRenames.count(module.name + ".new") != 0;
    if (module.state == Complete && !deferred) inPlace.add(std::make_unique<Module>(module));
  });
  ModuleList merged(installed);
  merged.addAll(inPlace);
  const std::string current = settings.get("modulesFile");
  const std::string fresh = current + ".new";
  const std::string backup = current + ".old";
  // The module files' new names reach the disk before the list that records them.
  for (const std::string& directory : renamedDirectories) syncDirectory(directory);
  renamedDirectories.clear();
  merged.writeFile(fresh);
  syncFile(fresh);

  // A backup left by an earlier failed commit would block the exchange for
  // good; while the current file exists it is the one worth keeping.
  if (pathExists(current)) removeFile(backup);
  if (renameFile(current, backup) != 0) {
    throw IOException("rename " + current + ": " + std::strerror(errno));
  }
  if (renameFile(fresh, current) != 0) {
    throw IOException("rename " + fresh + ": " + std::strerror(errno));
  }
  syncDirectory(directoryOf(current));
  if (removeFile(backup) != 0) {
    throw IOException("unlink " + backup + ": " + std::strerror(errno));
  }
}

void Updater::restoreInterruptedCommit() {
  const std::string current = settings.get("modulesFile");
  if (current.empty() || pathExists(current)) return;
  const std::string backup = current + ".old";
  if (!pathExists(backup)) return;
  // A commit stopped between its two renames: the backup is the last complete list.
  if (renameFile(backup, current) != 0) {
    throw IOException("rename " + backup + ": " + std::strerror(errno));
  }
  logPrintf("restored %s from %s\n", current.c_str(), backup.c_str());
}
