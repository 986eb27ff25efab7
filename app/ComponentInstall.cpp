// Putting a downloaded module file in place of its target through a backup name,
// or leaving it for the deferred-renames script when the target is in use.
#include <cerrno>
#include <cstring>

#include "app/DebugDelay.h"
#include "app/FileSystem.h"
#include "app/Updater.h"
#include "catalogue/UpdatePlan.h"
#include "support/Exceptions.h"
#include "support/Log.h"

void Updater::installComponent(Module& module) {
  const std::string& target = module.name;
  const std::string downloaded = target + ".new";
  const std::string backup = target + ".old";

  status.setStage(InstallingModule, &module);
  logPrintf("installing component %s\n", target.c_str());

  const FileAttributes attributes = readFileAttributes(target);
  logPrintf("file attributes for %s = %x\n", target.c_str(), static_cast<unsigned>(attributes.word));
  if (attributes.readOnly()) {
    logPrintf("clearing read-only flag\n");
    if (!writeFileAttributes(target, attributes.withWord(attributes.word & ~kReadOnlyAttribute))) {
      throw IOException("SetFileAttributes " + target + ": " + std::strerror(errno));
    }
  }

  // A backup left by an earlier installation would block the exchange.
  removeFile(backup);
  if (renameFile(target, backup) != 0 && isInUseError(errno)) {
    deferredRenames[downloaded] = target;
    if (isSameModuleName(target, kUpdaterExecutable)) updaterRenameDeferred = true;
    prepareDeferredFile(downloaded, attributes);
    return;
  }
  // Any other failure (mostly: no target yet, a new module) leaves the name free.

  if (renameFile(downloaded, target) != 0) {
    throw IOException("rename " + downloaded + " to " + target + ": " + std::strerror(errno));
  }

  // The old file's attributes, or a new module's own, with read-only added on demand.
  FileAttributes wanted = attributes.exists() ? attributes : newFileAttributes(target);
  if (module.forceReadOnly) {
    wanted.word = wanted.exists() ? (wanted.word | kReadOnlyAttribute) : (kReadOnlyAttribute | kArchiveAttribute);
  }
  if (wanted.exists()) writeFileAttributes(target, wanted);

  // The old file of a running program may refuse; the next installation removes it.
  removeFile(backup);
  debugDelay(settings.get("debugdelay"));
}
