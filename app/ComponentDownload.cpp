// Downloading one module's file beside its target, under its name + ".new".
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/DebugDelay.h"
#include "app/DownloadProgressRelay.h"
#include "app/FileSystem.h"
#include "app/Updater.h"
#include "catalogue/ModuleDigest.h"
#include "net/Retry.h"
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

// A body that is not the whole file is never taken for it: its length is the
// one the server announced or, when it announced none, the one the list gives.
void throwUnlessComplete(const Module& module, const URL& url) {
  const int64_t expected = url.announcedLength() >= 0 ? url.announcedLength() : module.contentLength;
  const uint64_t received = url.bytesReceived();
  if (expected >= 0 && received != static_cast<uint64_t>(expected)) {
    throw IOException(module.name + (received < static_cast<uint64_t>(expected) ? ": incomplete download ("
                                                                                 : ": download too long (") +
                      std::to_string(received) + " of " + std::to_string(expected) + " bytes)");
  }
  if (!url.bodyFailure().empty()) {
    throw IOException(module.name + ": download failed after " + std::to_string(received) + " bytes (" +
                      url.bodyFailure() + ")");
  }
}
}  // namespace

void Updater::fetchComponent(Module& module) {
  status.setStage(DownloadingModule, &module);
  logPrintf("fetching component %s\n", module.name.c_str());
  // Made first, so that a malformed digest text leaves the disk untouched.
  { ModuleDigest check(module); }
  {
    MutexGuard guard(directoryLock);
    ensureDirectoryExistsForPath(module.name);
  }
  // Installing over a folder would move the whole folder away.
  if (isDirectory(module.name)) throw IOException(module.name + ": the target is a folder");
  runWithRetries(module.name, [&](FetchFailure& failure) { downloadOnce(module, failure); });
  debugDelay(settings.get("debugdelay"));
}

// One try: the whole body into "NAME.new", from its first byte.
void Updater::downloadOnce(Module& module, FetchFailure& failure) {
  if (downloadsStopped) throw DownloadStopped();
  // Checked on the bytes as they arrive.
  ModuleDigest digest(module);
  const std::string downloaded = module.name + ".new";
  FileOwner file(openFreshFile(downloaded, false));
  if (file.get() == nullptr) throw IOException(module.name + ": " + errnoText());

  bool writeFailed = false;
  URL url(module.url);
  DownloadProgressRelay relay(&status, &module);
  url.addObserver(&relay);
  try {
    url.fetchToFile(file.get(), [&](const char* bytes, std::size_t length) {
      if (downloadsStopped) throw DownloadStopped();
      digest.update(bytes, length);
    });
  } catch (const IOException&) {
    failure = url.failure();
    throw;
  }
  if (std::ferror(file.get())) writeFailed = true;
  if (file.close() != 0) writeFailed = true;

  // A short or failed write must not pass for a complete file.
  if (writeFailed) throw IOException(module.name + ": " + errnoText());
  // A body that broke off may come whole on the next try.
  failure.transient = true;
  throwUnlessComplete(module, url);
  failure.transient = false;
  digest.verify();
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
