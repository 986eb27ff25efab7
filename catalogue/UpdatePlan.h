#pragma once
#include <string>

#include "catalogue/ModuleList.h"

// The updater's own files, which take precedence over everything else. The
// settings module's spelling follows the platform's file system: it must name
// the very file the settings are read from.
extern const char* const kUpdaterExecutable;  // "updater.exe" / "updater"
extern const char* const kUpdaterSettingsModule;  // "updaterIni.xml" / "UpdaterIni.xml"

// A module name is used as a path below the installation directory: it must not
// be empty, absolute, hold a drive or stream colon, or climb out with "..".
bool isSafeModuleName(const std::string& name);

// Fills the queue with copies of the available records that are new or out of
// date (an older installed version, and no pair of equal checksums), in the
// available list's order; records with unsafe names are logged and left out.
void planDownloadQueue(ModuleList& queue, const ModuleList& installed, const ModuleList& available);
// Cuts the queue down to the updater's own files when either is queued; true then.
bool preferSelfUpdateIn(ModuleList& queue);
