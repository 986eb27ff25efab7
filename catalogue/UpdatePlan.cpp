#include "catalogue/UpdatePlan.h"

#include <memory>
#include <set>
#include <utility>

#include "support/Digest.h"
#include "support/Log.h"

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// "..", and what Windows trims to it: a component of dots and blanks with at
// least two dots (trailing dots and blanks are dropped there).
bool climbsUp(const std::string& component) {
  std::size_t dots = 0;
  for (char c : component) {
    if (c == '.')
      ++dots;
    else if (c != ' ')
      return false;
  }
  return dots >= 2;
}

// Whether equal checksums prove a newer version to be the file already installed:
// SHA-256 decides where both records carry one, MD5 (compared as text) otherwise.
bool checksumsAgree(const Module& installed, const Module& available) {
  if (!available.sha256.empty() && !installed.sha256.empty())
    return lowerCaseAscii(available.sha256) == lowerCaseAscii(installed.sha256);
  return !available.md5sum.empty() && !installed.md5sum.empty() && available.md5sum == installed.md5sum;
}

bool isOutOfDate(const Module& installed, const Module& available) {
  return installed.version.isOlderThan(available.version) && !checksumsAgree(installed, available);
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Every name the file work of a module touches: the name and its ".new" and ".old".
void addWithWorkNames(std::set<std::string>& keys, const std::string& name) {
  const std::string key = moduleNameKey(name);
  keys.insert(key);
  keys.insert(key + ".new");
  keys.insert(key + ".old");
}

// The ".new" or ".old" suffix as the keys spell it.
bool isWorkNameOf(const std::string& key, const std::set<std::string>& moduleKeys) {
  for (const char* suffix : {".new", ".old"}) {
    const std::string tail = moduleNameKey(suffix);
    if (endsWith(key, tail) && moduleKeys.count(key.substr(0, key.size() - tail.size())) != 0) return true;
  }
  return false;
}

// Why the plan refuses a name; nullptr when it takes it.
class NameRefusals {
 public:
  NameRefusals(const ModuleList& installed, const ModuleList& available, const std::vector<std::string>& reserved) {
    installed.forEach([this](Module& module) { installedKeys.insert(moduleNameKey(module.name)); });
    moduleKeys = installedKeys;
    available.forEach([this](Module& module) { moduleKeys.insert(moduleNameKey(module.name)); });
    for (const std::string& name : reserved) {
      if (!name.empty()) addWithWorkNames(reservedKeys, name);
    }
  }

  bool refuses(const std::string& name) {
    if (!isSafeModuleName(name)) return true;
    const std::string key = moduleNameKey(name);
    if (!seen.insert(key).second) return true;  // the same file as an earlier module
    if (reservedKeys.count(key) != 0 || isWorkNameOf(key, moduleKeys)) return true;
    // This module's own work names would overwrite an installed module's file.
    return installedKeys.count(key + moduleNameKey(".new")) != 0 ||
           installedKeys.count(key + moduleNameKey(".old")) != 0;
  }

 private:
  std::set<std::string> installedKeys;
  std::set<std::string> moduleKeys;
  std::set<std::string> reservedKeys;
  std::set<std::string> seen;
};

}  // namespace

bool isSafeModuleName(const std::string& name) {
  if (name.empty() || isSeparator(name[0]) || isSeparator(name.back()) || name.find(':') != std::string::npos) {
    return false;
  }
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7f) return false;
  }
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    const std::string component = name.substr(start, end - start);
    if (component.empty() || component == "." || climbsUp(component) || !isSafeNameComponent(component)) {
      return false;
    }
    start = end + 1;
  }
  return true;
}

bool isSameModuleName(const std::string& a, const std::string& b) { return moduleNameKey(a) == moduleNameKey(b); }

void planDownloadQueue(ModuleList& queue, const ModuleList& installed, const ModuleList& available,
                       const std::vector<std::string>& reservedNames) {
  NameRefusals refusals(installed, available, reservedNames);
  // Copies taken first: no list's lock is held while another's is taken, so
  // callers may plan with the same lists in either role.
  std::vector<Module> candidates;
  candidates.reserve(available.size());
  available.forEach([&candidates](Module& module) { candidates.push_back(module); });
  for (const Module& module : candidates) {
    if (refusals.refuses(module.name)) {
      logPrintf("refusing module with unsafe name %s\n", module.name.c_str());
      continue;
    }
    Module* current = installed.find(module.name);
    if (current == nullptr || isOutOfDate(*current, module)) queue.add(std::make_unique<Module>(module));
  }
}

bool preferSelfUpdateIn(ModuleList& queue) {
  // The platform's spelling rules: on Windows "Updater.exe" is the updater too.
  Module* executable = nullptr;
  Module* settingsModule = nullptr;
  queue.forEach([&](Module& module) {
    if (executable == nullptr && isSameModuleName(module.name, kUpdaterExecutable)) executable = &module;
    if (settingsModule == nullptr && isSameModuleName(module.name, kUpdaterSettingsModule)) {
      settingsModule = &module;
    }
  });
  if (executable == nullptr && settingsModule == nullptr) return false;
  std::unique_ptr<Module> executableCopy = executable != nullptr ? std::make_unique<Module>(*executable) : nullptr;
  std::unique_ptr<Module> settingsCopy =
      settingsModule != nullptr ? std::make_unique<Module>(*settingsModule) : nullptr;
  queue.clear();
  if (executableCopy) {
    executableCopy->critical = true;
    queue.add(std::move(executableCopy));
  }
  if (settingsCopy) {
    settingsCopy->critical = true;
    queue.add(std::move(settingsCopy));
  }
  return true;
}
