#pragma once
#include "catalogue/ModuleList.h"

// The updater's own files, which take precedence over everything else. The
// settings module's spelling follows the platform's file system: it must name
// the very file the settings are read from.
extern const char* const kUpdaterExecutable;  // "updater.exe" / "updater"
extern const char* const kUpdaterSettingsModule;  // "updaterIni.xml" / "UpdaterIni.xml"

// Fills the queue with copies of the available records that are new or out of date.
void planDownloadQueue(ModuleList& queue, const ModuleList& installed, const ModuleList& available);
// Cuts the queue down to the updater's own files when either is queued; true then.
bool preferSelfUpdateIn(ModuleList& queue);
