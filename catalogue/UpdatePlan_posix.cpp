#include "catalogue/UpdatePlan.h"

const char* const kUpdaterExecutable = "updater";
// Names are case-sensitive here: only the file the settings are read from counts.
const char* const kUpdaterSettingsModule = "UpdaterIni.xml";

// Any bytes but "/" and NUL make a file name here; UTF-8 names are installed as they are.
bool isSafeNameComponent(const std::string&) { return true; }

std::string moduleNameKey(const std::string& name) { return name; }
