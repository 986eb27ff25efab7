// Downloading one module's file beside its target, under its name + ".new".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/DebugDelay.h"
#include "app/FileSystem.h"
#include "app/Updater.h"
#include "catalogue/ModuleDigest.h"
#include "net/URL.h"
#include "support/Exceptions.h"
#include "support/FreshFile.h"
#include "support/Log.h"

namespace {
class FileOwner {
 public:
  explicit FileOwner(FILE* file) : file(file) {}
  ~FileOwner() { close(); }
  FileOwner(const FileOwner&) = delete;
  FileOwner& operator=(const FileOwner&) = delete;
  FILE* get() const { return file; }
  // 0, or EOF when the last bytes could not be written.
  int close() {
    int result = 0;
    if (file != nullptr) result = std::fclose(file);
    file = nullptr;
    return result;
  }

 private:
  FILE* file;
};

std::string errnoText() { return std::strerror(errno); }
}  // namespace

void Updater::fetchComponent(Module& module) {
  status.setStage(DownloadingModule, &module);
  logPrintf("fetching component %s\n", module.name.c_str());
  // Checked on the bytes as they arrive; made first, so that a malformed digest
  // text leaves the disk untouched.
  ModuleDigest digest(module);
  ensureDirectoryExistsForPath(module.name);
  // Installing over a folder would move the whole folder away.
  if (isDirectory(module.name)) throw IOException(module.name + ": the target is a folder");

  const std::string downloaded = module.name + ".new";
  FileOwner file(openFreshFile(downloaded, false));
  if (file.get() == nullptr) throw IOException(module.name + ": " + errnoText());

  bool writeFailed = false;
  {
    URL url(module.url);
    DownloadProgressRelay relay(&status);
    url.addObserver(&relay);
    url.fetchToFile(file.get(), [&](const char* bytes, std::size_t length) {
      digest.update(bytes, length);
    });
    if (std::ferror(file.get())) writeFailed = true;
    if (file.close() != 0) writeFailed = true;

    // A short or failed write must not pass for a complete file.
    if (writeFailed) throw IOException(module.name + ": " + errnoText());
    if (url.announcedLength() >= 0 && url.bytesReceived() != static_cast<uint64_t>(url.announcedLength())) {
      throw IOException(module.name + ": incomplete download (" + std::to_string(url.bytesReceived()) + " of " +
                        std::to_string(url.announcedLength()) + " bytes)");
    }
    digest.verify();
  }
  debugDelay(settings.get("debugdelay"));
}

void Updater::ensureDirectoryExistsForPath(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return;
  const std::string directory = path.substr(0, slash);
  ensureDirectoryExistsForPath(directory);
  if (!pathExists(directory)) {
    logPrintf("ensureDirectoryExistsForPath: making directory %s\n", directory.c_str());
    makeDirectory(directory);
  }
}
