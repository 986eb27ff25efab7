#pragma once
#include <string>
#include <vector>

#include "catalogue/ModuleList.h"

// The updater's own files, which take precedence over everything else. The
// settings module's spelling follows the platform's file system: it must name
// the very file the settings are read from.
extern const char* const kUpdaterExecutable;  // "updater.exe" / "updater"
extern const char* const kUpdaterSettingsModule;  // "updaterIni.xml" / "UpdaterIni.xml"

// A module name is used as a path below the installation directory: it must not
// be empty, absolute, hold a drive or stream colon or a control character, climb
// out with "..", hold "." or empty components, or end in a separator. On Windows
// also no device name (NUL, CON, COM1.txt...), no component ending in a dot or
// blank, and only ASCII (the ANSI file calls would garble anything else).
bool isSafeModuleName(const std::string& name);
// Whether one component of a name is a file name the platform takes as it is.
bool isSafeNameComponent(const std::string& component);
// The name as the file system compares it: on Windows case-insensitive, "/" and
// "\" alike; elsewhere the name itself.
std::string moduleNameKey(const std::string& name);
bool isSameModuleName(const std::string& a, const std::string& b);

// Fills the queue with copies of the available records that are new or out of
// date (an older installed version, and no pair of equal checksums), in the
// available list's order. Refused, logged and left out: unsafe names; a name the
// file system takes for one seen earlier in the list; a name that is another
// module's ".new" or ".old", or whose own ".new" or ".old" is an installed module;
// the reserved names (the updater's own working files) and their ".new"/".old".
void planDownloadQueue(ModuleList& queue, const ModuleList& installed, const ModuleList& available,
                       const std::vector<std::string>& reservedNames = {});
// Cuts the queue down to the updater's own files when either is queued; true then.
bool preferSelfUpdateIn(ModuleList& queue);
