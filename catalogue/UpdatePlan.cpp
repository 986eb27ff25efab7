#include "catalogue/UpdatePlan.h"

#include <memory>

#include "support/Digest.h"
#include "support/Log.h"

namespace {

bool isSeparator(char c) { return c == '/' || c == '\\'; }

// "..", and on Windows also what the system trims to it: a component of dots and
// blanks with at least two dots (trailing dots and blanks are dropped there).
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

}  // namespace

bool isSafeModuleName(const std::string& name) {
  if (name.empty() || isSeparator(name[0]) || name.find(':') != std::string::npos) return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = start;
    while (end < name.size() && !isSeparator(name[end])) ++end;
    if (climbsUp(name.substr(start, end - start))) return false;
    start = end + 1;
  }
  return true;
}

void planDownloadQueue(ModuleList& queue, const ModuleList& installed, const ModuleList& available) {
  // The available list is the update thread's own, so holding its lock while the
  // queue's is taken cannot meet another thread's order of locks.
  available.forEach([&](Module& module) {
    if (!isSafeModuleName(module.name)) {
      logPrintf("refusing module with unsafe name %s\n", module.name.c_str());
      return;
    }
    Module* current = installed.find(module.name);
    if (current == nullptr || isOutOfDate(*current, module)) queue.add(new Module(module));
  });
}

bool preferSelfUpdateIn(ModuleList& queue) {
  Module* executable = queue.find(kUpdaterExecutable);
  Module* settingsModule = queue.find(kUpdaterSettingsModule);
  if (executable == nullptr && settingsModule == nullptr) return false;
  std::unique_ptr<Module> executableCopy(executable != nullptr ? new Module(*executable) : nullptr);
  std::unique_ptr<Module> settingsCopy(settingsModule != nullptr ? new Module(*settingsModule) : nullptr);
  queue.clear();
  if (executableCopy) {
    executableCopy->critical = true;
    queue.add(executableCopy.release());
  }
  if (settingsCopy) {
    settingsCopy->critical = true;
    queue.add(settingsCopy.release());
  }
  return true;
}
