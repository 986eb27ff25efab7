#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DeferredScript.h"
#include "app/FileSystem.h"
#include "app/ModuleListSignature.h"
#include "app/Updater.h"
#include "net/RateLimit.h"
#include "net/Retry.h"
#include "settings/MaintenanceReport.h"
#include "status/ProgressWindow.h"
#include "status/StatusServer.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/stringify.h"
#include "support/Thread.h"

namespace {
// The observers are registered with the status, which outlives the run; they must
// not be told of anything once they are gone.
class ObserverRegistration {
 public:
  explicit ObserverRegistration(UpdateStatus& status) : status(status) {}
  ~ObserverRegistration() { status.observers.clear(); }

 private:
  UpdateStatus& status;
};

// Every transfer of the run keeps to the rate from here on. Logged first, so
// the line comes before anything the new rate lets through.
void limitDownloadRate(uint64_t bytesPerSecond) {
  if (bytesPerSecond == 0) {
    logPrintf("download rate not limited\n");
  } else {
    logPrintf("download rate limited to %s bytes per second\n", stringify(bytesPerSecond).c_str());
  }
  downloadRateLimit().setRate(bytesPerSecond);
}

// The "maxDownloadRate" setting, in bytes per second: empty or 0 for no limit,
// which is not logged; text that is no such number is logged and means no limit.
void applyDownloadRateSetting(const std::string& value) {
  uint64_t rate = 0;
  if (!value.empty() && !parseUnsigned(value, UINT64_MAX, rate)) {
    logPrintf("ignored maxDownloadRate \"%s\": not a whole number of bytes per second\n", value.c_str());
    rate = 0;
  }
  if (rate != 0) {
    limitDownloadRate(rate);
  } else {
    downloadRateLimit().setRate(0);  // what an earlier run in this process set ends with it
  }
}

// The longest module list read; a larger answer fails the run before anything changes.
constexpr uint64_t kModuleListLimit = 64u << 20;

// One worker of a parallel walk. Its body catches everything itself.
class DownloadWorker : public Thread {
 public:
  explicit DownloadWorker(std::function<void()> body) : body(std::move(body)) {}
  ~DownloadWorker() override { wait(kInfinite); }
  uint32_t run() override {
    body();
    return 0;
  }

 private:
  std::function<void()> body;
};
}  // namespace

unsigned parallelDownloadsOf(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t\r\n");
  std::size_t last = text.find_last_not_of(" \t\r\n");
  if (first == std::string::npos) return 1;
  unsigned value = 0;
  for (std::size_t i = first; i <= last; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return 1;
    value = std::min(value * 10 + static_cast<unsigned>(text[i] - '0'), kMaxParallelDownloads);
  }
  return std::max(value, 1u);
}

std::string Updater::moduleListQuery() const {
  return settings.get("updateServer") + "?lang=" + settings.get("lang") + "&gamename=" +
         settings.get("gamename") + "&type=" + settings.get("type") + "&method=" + settings.get("method") +
         "&prodId=" + settings.get("prodId") + "&lsdId=" + settings.get("lsdId") + "&siteId=" +
         settings.get("siteId");
}

void Updater::runUpdate() {
  applyDownloadRateSetting(settings.get("maxDownloadRate"));
  MaintenanceReport report;
  report.query(settings.get("commMaintMgr"));

  // Declared in this order so that the server is destroyed first.
  ProgressWindow window;
  window.setReport(&report);
  window.start();
  ObserverRegistration registration(status);
  status.addObserver(&window);
  StatusServer server;
  server.onDownloadRate(limitDownloadRate);
  server.start();
  status.addObserver(&server);

  try {
    if (!report.updatesAllowed()) {
      status.setStage(NetworkUnavailable);
    } else {
      // Read first: keys that cannot be used stop the run before it changes anything.
      const std::vector<std::string> keys = publicKeysOf(settings.get("publicKeys"));
      std::remove(kDeferredScriptName);
      status.setStage(FindingInstalledModules);
      restoreInterruptedCommit();
      ModuleList installed;
      installed.readFile(settings.get("modulesFile"));

      status.setStage(FindingAvailableModules);
      const std::string listAddress = moduleListQuery();
      const std::string answer = fetchWholeText("the module list", listAddress, kModuleListLimit);
      // Checked before the parser sees the bytes, and before anything is planned.
      if (!keys.empty()) verifyModuleListSignature(keys, listAddress, answer);
      ModuleList available;
      available.readMemory(answer.data(), answer.size());
      if (!keys.empty()) requireSha256(available);

      repairInterruptedInstallations(installed, available);
      buildDownloadQueue(installed, available);
      removeUnusedDownloads(installed, available);
      status.downloadQueue.forEach([](Module& module) {
        // The line shows the length as a 32-bit number, as it always has.
        const int64_t length = std::max<int64_t>(INT32_MIN, std::min<int64_t>(INT32_MAX, module.contentLength));
        logPrintf("component %s is out of date (contentLength = %d)\n", module.name.c_str(),
                  static_cast<int>(length));
      });

      fetchAndInstallModules(true);
      if (!updaterRenameDeferred) {
        status.setStage(LaunchingProgram);
        autoStartProcess(settings.get("autoStart"));
        fetchAndInstallModules(false);
      }

      status.setStage(UpdatingInstalledModulesList);
      commitInstalledModules(installed, status.downloadQueue);
      status.setStage(Done);
    }
  } catch (const IOException& e) {
    status.setError("Error: " + e);
    throw IOException(e);
  } catch (const XmlException& e) {
    status.setError("Error: " + e);
    throw XmlException(e);
  }
  window.waitForClose();
}

void Updater::fetchAndInstallModules(bool critical) {
  logPrintf("Updater::fetchAndInstallModules\n");
  const unsigned workers = parallelDownloadsOf(settings.get("parallelDownloads"));
  if (workers > 1) {
    fetchAndInstallInParallel(critical, workers);
    return;
  }
  // Taking the module and marking it in one locked step: a module the client
  // moves forward meanwhile is never passed over.
  while (Module* module = status.downloadQueue.takeNext(critical)) {
    EarlierWork earlier = findEarlierWork(*module);
    if (earlier == EarlierWork::None) fetchComponent(*module);
    if (earlier != EarlierWork::Installed) {
      status.downloadQueue.setState(*module, Installing);
      installComponent(*module);
    }
    status.downloadQueue.setState(*module, Complete);
  }
}

void Updater::fetchAndInstallInParallel(bool critical, unsigned count) {
  logPrintf("fetching up to %u modules at once\n", count);
  downloadsStopped = false;
  std::exception_ptr firstFailure;
  Mutex failureLock;
  auto work = [&] {
    try {
      while (!downloadsStopped) {
        Module* module = status.downloadQueue.takeNext(critical);
        if (module == nullptr) break;
        EarlierWork earlier = findEarlierWork(*module);
        if (earlier == EarlierWork::None) fetchComponent(*module);
        if (earlier != EarlierWork::Installed) {
          status.downloadQueue.setState(*module, Fetched);
          MutexGuard guard(installLock);
          // After a failure elsewhere nothing more is put in place.
          if (downloadsStopped) break;
          status.downloadQueue.setState(*module, Installing);
          installComponent(*module);
        }
        status.downloadQueue.setState(*module, Complete);
      }
    } catch (...) {
      MutexGuard guard(failureLock);
      // The transfers stopped because of it throw DownloadStopped afterwards.
      if (!firstFailure) firstFailure = std::current_exception();
      downloadsStopped = true;
    }
  };
  {
    std::vector<std::unique_ptr<DownloadWorker>> workers;
    try {
      for (unsigned i = 0; i < count; ++i) {
        workers.emplace_back(new DownloadWorker(work));
        workers.back()->start();
      }
    } catch (...) {
      downloadsStopped = true;
      throw;  // the workers started are waited for first, as they are destroyed
    }
  }  // waits for every worker
  if (firstFailure) std::rethrow_exception(firstFailure);
}
