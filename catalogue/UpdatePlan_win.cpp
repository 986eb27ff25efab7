#include "catalogue/UpdatePlan.h"

#include <cctype>

const char* const kUpdaterExecutable = "updater.exe";
// The file system ignores case here, so this spelling names "UpdaterIni.xml" too.
const char* const kUpdaterSettingsModule = "updaterIni.xml";

namespace {
std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// NUL, CON, COM1... name the device whatever extension follows.
bool isDeviceName(const std::string& component) {
  const std::string stem = lowerCase(component.substr(0, component.find('.')));
  for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
    if (stem == device) return true;
  }
  return stem.size() == 4 && (stem.compare(0, 3, "com") == 0 || stem.compare(0, 3, "lpt") == 0) && stem[3] >= '1' &&
         stem[3] <= '9';
}
}  // namespace

// The ANSI calls would turn anything beyond ASCII into another name; the
// system drops trailing dots and blanks; wildcards and "<>|\"" are no file names.
bool isSafeNameComponent(const std::string& component) {
  for (char c : component) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
  }
  const char last = component.back();
  return last != '.' && last != ' ' && !isDeviceName(component);
}

std::string moduleNameKey(const std::string& name) {
  std::string key = lowerCase(name);
  for (char& c : key) {
    if (c == '/') c = '\\';
  }
  return key;
}
