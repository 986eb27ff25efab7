// Putting a downloaded module file in place of its target through a backup name,
// or leaving it for the deferred-renames script when the target is in use.
//
// The downloaded file is made final (on the disk, with its attributes) while it
// is still "NAME.new", and the target is never changed in place: whenever the
// process stops, each name holds a whole file with the attributes it should
// have, and the next run's repair finishes or undoes the exchange.
#include <cerrno>
#include <cstring>

#include "app/DebugDelay.h"
#include "app/FileSystem.h"
#include "app/Updater.h"
#include "catalogue/UpdatePlan.h"
#include "support/Exceptions.h"
#include "support/Log.h"

namespace {
// The old file's attributes, or a new module's own, with read-only added on demand.
FileAttributes finalAttributes(const Module& module, const FileAttributes& old, const std::string& downloaded) {
  FileAttributes wanted = old.exists() ? old : newFileAttributes(downloaded);
  if (module.forceReadOnly) {
    wanted.word = wanted.exists() ? (wanted.word | kReadOnlyAttribute) : (kReadOnlyAttribute | kArchiveAttribute);
  }
  return wanted;
}

void clearReadOnly(const std::string& path, const FileAttributes& attributes) {
  logPrintf("clearing read-only flag\n");
  if (!writeFileAttributes(path, attributes.withWord(attributes.word & ~kReadOnlyAttribute))) {
    throw IOException("SetFileAttributes " + path + ": " + std::strerror(errno));
  }
}
}  // namespace

void Updater::installComponent(Module& module) {
  const std::string& target = module.name;
  const std::string downloaded = target + ".new";
  const std::string backup = target + ".old";

  status.setStage(InstallingModule, &module);
  logPrintf("installing component %s\n", target.c_str());

  const FileAttributes attributes = readFileAttributes(target);
  logPrintf("file attributes for %s = %x\n", target.c_str(), static_cast<unsigned>(attributes.word));

  // Before any name changes, the final attributes.
  const FileAttributes wanted = finalAttributes(module, attributes, downloaded);
  if (wanted.exists()) writeFileAttributes(downloaded, wanted);

  // A backup left by an earlier installation would block the exchange.
  removeFileEvenReadOnly(backup);
  // A read-only file may be renamed: the target keeps its flag through the
  // exchange. A new module has no target to move aside.
  const bool backedUp = attributes.exists() && renameFile(target, backup) == 0;
  if (attributes.exists() && !backedUp && isInUseError(errno)) {
    deferredRenames[downloaded] = target;
    if (isSameModuleName(target, kUpdaterExecutable)) updaterRenameDeferred = true;
    // The script deletes the target before it renames the downloaded file,
    // which already carries the final attributes.
    if (attributes.readOnly()) clearReadOnly(target, attributes);
    return;
  }
  // Any other failure leaves the name free.

  if (renameFile(downloaded, target) != 0) {
    throw IOException("rename " + downloaded + " to " + target + ": " + std::strerror(errno));
  }
  // Synced once per directory before the commit records the module.
  renamedDirectories.insert(directoryOf(target));

  // Only the backup loses its flag, so that it can be deleted. The old file of
  // a running program may refuse; the next run removes it.
  if (attributes.readOnly()) {
    logPrintf("clearing read-only flag\n");
    writeFileAttributes(backup, attributes.withWord(attributes.word & ~kReadOnlyAttribute));
  }
  if (backedUp) removeFile(backup);
  debugDelay(settings.get("debugdelay"));
}
