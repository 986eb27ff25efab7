#include "catalogue/UpdatePlan.h"

const char* const kUpdaterExecutable = "updater";
// Names are case-sensitive here: only the file the settings are read from counts.
const char* const kUpdaterSettingsModule = "UpdaterIni.xml";
