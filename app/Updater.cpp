#include "app/Updater.h"

#include "app/DeferredScript.h"
#include "catalogue/UpdatePlan.h"
#include "support/Log.h"

#ifndef UPDATER_REVISION
#define UPDATER_REVISION "unknown"
#endif

Updater::Updater() : settings(), status(), deferredRenames() {
  logPrintf("updater %s (%s)\n", kUpdaterVersion, UPDATER_REVISION);
  updaterRenameDeferred = false;
}

void Updater::buildDownloadQueue(ModuleList& installed, ModuleList& available) {
  // The updater's own working files are never module files: a module under one
  // of their names would delete or overwrite them.
  planDownloadQueue(status.downloadQueue, installed, available,
                    {settings.get("modulesFile"), "update.log", kDeferredScriptName});
  preferSelfUpdate();
}

void Updater::preferSelfUpdate() {
  // The program started after the critical modules is then the updater itself,
  // which runs again with its new files.
  if (preferSelfUpdateIn(status.downloadQueue)) settings.set("autoStart", kUpdaterExecutable);
}
