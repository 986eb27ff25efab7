#include "catalogue/UpdatePlan.h"

const char* const kUpdaterExecutable = "updater.exe";
// The file system ignores case here, so this spelling names "UpdaterIni.xml" too.
const char* const kUpdaterSettingsModule = "updaterIni.xml";
