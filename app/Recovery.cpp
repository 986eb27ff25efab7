// Finishing or undoing what a run stopped at any moment (killed, power lost)
// left beside the module files, and taking over the work it had already done.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <vector>
#include <system_error>

#include "app/FileSystem.h"
#include "app/Updater.h"
#include "catalogue/ModuleDigest.h"
#include "catalogue/UpdatePlan.h"
#include "support/Exceptions.h"
#include "support/Log.h"

namespace {
// The modules of either list that have a neighbour with the suffix (".old",
// ".new"), found by reading each of their directories once: a start with
// thousands of current modules pays for a few directory listings, not a look-up
// per module.
std::vector<std::string> withNeighbour(const ModuleList& installed, const ModuleList& available,
                                       const std::string& suffix) {
  std::set<std::string> directories;
  std::string last;
  auto collect = [&](Module& module) {
    std::string directory = directoryOf(module.name);
    if (directory != last) directories.insert(directory);
    last = directory;
  };
  installed.forEach(collect);
  available.forEach(collect);
  std::vector<std::string> found;
  for (const std::string& directory : directories) {
    std::error_code error;
    for (std::filesystem::directory_iterator entry(directory, error), end; !error && entry != end;
         entry.increment(error)) {
      std::string file = entry->path().filename().string();
      if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0) {
        continue;
      }
      std::string name = (directory == "." ? "" : directory + "/") + file.substr(0, file.size() - suffix.size());
      bool known = installed.find(name) != nullptr || available.find(name) != nullptr;
      if (known && isSafeModuleName(name)) found.push_back(name);
    }
  }
  return found;
}

long long sizeOf(const std::string& path) {
  std::error_code error;
  std::uintmax_t size = std::filesystem::file_size(path, error);
  return error ? -1 : static_cast<long long>(size);
}

// Whether the file holds what the server announces: its length when announced,
// and its digest (sha256, else MD5), without which nothing is taken for proven.
bool holdsAnnouncedContent(const std::string& path, const Module& module) {
  try {
    ModuleDigest digest(module);
    if (!digest.checks()) return false;
    if (module.contentLength >= 0 && sizeOf(path) != module.contentLength) return false;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    char buffer[65536];
    std::size_t length;
    while ((length = std::fread(buffer, 1, sizeof buffer, file)) > 0) digest.update(buffer, length);
    bool readWhole = std::ferror(file) == 0;
    std::fclose(file);
    return readWhole && digest.mismatch().empty();
  } catch (const IOException&) {
    return false;  // a malformed digest text proves nothing; the download reports it
  }
}
}  // namespace

void Updater::repairInterruptedInstallations(const ModuleList& installed, const ModuleList& available) {
  for (const std::string& target : withNeighbour(installed, available, ".old")) {
    const std::string backup = target + ".old";
    if (pathExists(target)) {
      // The exchange was done; only the backup's removal was missed.
      removeFileEvenReadOnly(backup);
      continue;
    }
    // Stopped between the two renames: the old file, attributes and all, goes back.
    if (renameFile(backup, target) != 0) {
      throw IOException("rename " + backup + ": " + std::strerror(errno));
    }
    logPrintf("restored %s from %s\n", target.c_str(), backup.c_str());
  }
}

void Updater::removeUnusedDownloads(const ModuleList& installed, const ModuleList& available) {
  // While the queue holds only the updater's own files, the other modules are
  // still out of date: their downloads serve the next run.
  const bool selfUpdate = status.downloadQueue.find(kUpdaterExecutable) != nullptr ||
                          status.downloadQueue.find(kUpdaterSettingsModule) != nullptr;
  for (const std::string& name : withNeighbour(installed, available, ".new")) {
    if (status.downloadQueue.find(name) != nullptr) continue;
    if (selfUpdate && available.find(name) != nullptr) continue;
    removeFileEvenReadOnly(name + ".new");
  }
}

EarlierWork Updater::findEarlierWork(Module& module) {
  const std::string downloaded = module.name + ".new";
  EarlierWork found = EarlierWork::None;
  if (holdsAnnouncedContent(module.name, module)) {
    // An exchange whose commit was missed, or a deferred rename the script did later.
    removeFileEvenReadOnly(downloaded);
    FileAttributes attributes = readFileAttributes(module.name);
    if (module.forceReadOnly && !attributes.readOnly()) {
      writeFileAttributes(module.name, attributes.withWord(attributes.word | kReadOnlyAttribute));
    }
    logPrintf("component %s is already in place\n", module.name.c_str());
    found = EarlierWork::Installed;
  } else if (pathExists(downloaded)) {
    if (holdsAnnouncedContent(downloaded, module)) {
      logPrintf("component %s is already downloaded\n", module.name.c_str());
      // Its bytes may not have reached the disk before the kill. Synced before any
      // attribute is set: Windows opens the file for writing to flush it.
      syncFile(downloaded);
      found = EarlierWork::Downloaded;
    } else if (module.contentLength < 0 || sizeOf(downloaded) >= module.contentLength ||
               readFileAttributes(downloaded).readOnly()) {
      // Whole but wrong: nothing can continue it. A shorter one is left for the download.
      removeFileEvenReadOnly(downloaded);
    }
  }
  if (found != EarlierWork::None) {
    // The status client learns of it as of a finished download.
    status.setStage(DownloadingModule, &module);
    status.setProgress(100, &module);
  }
  return found;
}
