// Downloading one module's file beside its target, under its name + ".new".
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

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
  void reset(FILE* other) {
    close();
    file = other;
  }
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

// Writes in large blocks; a kill loses at most one block of the download. The
// buffer is given, since glibc ignores the size when it allocates one itself.
constexpr std::size_t kWriteBuffer = 1 << 20;
void setLargeBuffer(FILE* file, char* buffer) { std::setvbuf(file, buffer, _IOFBF, kWriteBuffer); }

// The length of a partial "NAME.new" worth continuing: a plain file, shorter
// than the whole file's known length; 0 otherwise.
uint64_t partialSize(const std::string& path, int64_t length) {
  std::error_code error;
  if (length <= 0 || !std::filesystem::is_regular_file(std::filesystem::symlink_status(path, error))) return 0;
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  return error || size >= static_cast<std::uintmax_t>(length) ? 0 : static_cast<uint64_t>(size);
}

// Feeds the first `length` bytes of the file to the digest; false when they cannot be read.
bool hashExistingPart(const std::string& path, uint64_t length, ModuleDigest& digest) {
  FileOwner file(std::fopen(path.c_str(), "rb"));
  if (file.get() == nullptr) return false;
  std::vector<char> buffer(kWriteBuffer);
  while (length > 0) {
    const std::size_t count = std::fread(buffer.data(), 1, std::min<uint64_t>(length, buffer.size()), file.get());
    if (count == 0) return false;
    digest.update(buffer.data(), count);
    length -= count;
  }
  return true;
}
}  // namespace

// What the tries of one module's download learned from the server, for the next.
struct Updater::DownloadTries {
  std::string validator;
  int64_t length = -1;
  bool startOver = false;  // the next try fetches the whole file
  bool startedOver = false;  // only once
};

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
  DownloadTries tries;
  runWithRetries(module.name, [&](FetchFailure& failure) { downloadOnce(module, failure, tries); });
  debugDelay(settings.get("debugdelay"));
}

// One try into "NAME.new": the rest of a partial one where that can be proven
// (see fetchComponent), otherwise the whole body from its first byte.
void Updater::downloadOnce(Module& module, FetchFailure& failure, DownloadTries& tries) {
  if (downloadsStopped) throw DownloadStopped();
  // Checked on the bytes as they arrive, after those already there.
  auto digest = std::make_unique<ModuleDigest>(module);
  const std::string downloaded = module.name + ".new";
  const int64_t length = tries.length >= 0 ? tries.length : module.contentLength;
  const uint64_t partial = tries.startOver ? 0 : partialSize(downloaded, length);
  const bool resume = partial > 0 && (digest->checks() || !tries.validator.empty()) &&
                      hashExistingPart(downloaded, partial, *digest);
  tries.startOver = false;
  // Declared before the file, which writes through it until it is closed.
  const std::unique_ptr<char[]> buffer(new char[kWriteBuffer]);
  FileOwner file(resume ? std::fopen(downloaded.c_str(), "ab") : openFreshFile(downloaded, false));
  if (file.get() == nullptr) throw IOException(module.name + ": " + errnoText());
  setLargeBuffer(file.get(), buffer.get());

  URL url(module.url);
  DownloadProgressRelay relay(&status, &module);
  url.addObserver(&relay);
  if (resume) {
    logPrintf("resuming %s from byte %llu\n", module.name.c_str(), static_cast<unsigned long long>(partial));
    url.resumeFrom(partial, tries.validator);
  }
  try {
    url.fetchPieces(
        [&](uint64_t offset) {
          if (offset != 0 || !resume) return;
          // The server sent the whole file: it replaces the part.
          file.close();
          file.reset(openFreshFile(downloaded, false));
          if (file.get() == nullptr) throw IOException(module.name + ": " + errnoText());
          setLargeBuffer(file.get(), buffer.get());
          digest = std::make_unique<ModuleDigest>(module);
        },
        [&](const char* bytes, std::size_t count) {
          if (downloadsStopped) throw DownloadStopped();
          // A short write would leave a file that looks complete by its byte
          // count but is not: stop here rather than go on.
          if (std::fwrite(bytes, 1, count, file.get()) != count) throw IOException("fwrite: " + errnoText());
          digest->update(bytes, count);
        });
  } catch (const IOException&) {
    failure = url.failure();
    throw;
  }
  if (!url.validator().empty()) tries.validator = url.validator();
  if (url.announcedLength() >= 0) tries.length = url.announcedLength();
  // Flushing the buffer is the download's last write, and fails as one (a
  // failed write before it has thrown already). A file that cannot be closed
  // must not pass for a complete one either.
  if (std::fflush(file.get()) != 0) throw IOException("fwrite: " + errnoText());
  // On the disk before it can be installed; here, where it is still open, not
  // by opening it again later.
  syncOpenFile(file.get());
  if (file.close() != 0) throw IOException(module.name + ": " + errnoText());
  // A body that is not the whole file is never taken for it: its length is the
  // one the server announced or, when it announced none, the one the list gives.
  // One that broke off may come whole on the next try.
  const std::string incomplete = url.incompleteBodyText(module.contentLength);
  if (!incomplete.empty()) {
    failure.transient = true;
    throw IOException(module.name + ": " + incomplete);
  }
  const std::string mismatch = digest->mismatch();
  if (mismatch.empty()) return;
  // The part kept from before may be what is wrong: once, the whole file again.
  if (url.bodyOffset() > 0 && !tries.startedOver) {
    logPrintf("%s; starting over\n", mismatch.c_str());
    tries.startOver = tries.startedOver = true;
    downloadOnce(module, failure, tries);
    return;
  }
  throw IOException(mismatch);
}

void Updater::ensureDirectoryExistsForPath(const std::string& path) {
  std::string::size_type slash = path.find_last_of('/');
  if (slash == std::string::npos) return;
  const std::string directory = path.substr(0, slash);
  // Found, it was reached through its parents, so they exist too: one look per
  // module instead of one per level.
  if (pathExists(directory)) return;
  ensureDirectoryExistsForPath(directory);
  if (!pathExists(directory)) {
    logPrintf("ensureDirectoryExistsForPath: making directory %s\n", directory.c_str());
    makeDirectory(directory);
  }
}
