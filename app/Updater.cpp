#include "app/Updater.h"

#include "support/Log.h"

#ifndef UPDATER_REVISION
#define UPDATER_REVISION "unknown"
#endif

Updater::Updater() : settings(), deferredRenames(), updaterRenameDeferred(false) {
  logPrintf("updater %s (%s)\n", kUpdaterVersion, UPDATER_REVISION);
}
