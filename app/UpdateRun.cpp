#include <cstdio>
#include <string>
#include <vector>

#include "app/DeferredScript.h"
#include "app/ModuleListSignature.h"
#include "app/Updater.h"
#include "net/URL.h"
#include "settings/MaintenanceReport.h"
#include "status/ProgressWindow.h"
#include "status/StatusServer.h"
#include "support/Exceptions.h"
#include "support/Log.h"

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
}  // namespace

std::string Updater::moduleListQuery() const {
  return settings.get("updateServer") + "?lang=" + settings.get("lang") + "&gamename=" +
         settings.get("gamename") + "&type=" + settings.get("type") + "&method=" + settings.get("method") +
         "&prodId=" + settings.get("prodId") + "&lsdId=" + settings.get("lsdId") + "&siteId=" +
         settings.get("siteId");
}

void Updater::runUpdate() {
  MaintenanceReport report;
  report.query(settings.get("commMaintMgr"));

  // Declared in this order so that the server is destroyed first.
  ProgressWindow window;
  window.setReport(&report);
  window.start();
  ObserverRegistration registration(status);
  status.addObserver(&window);
  StatusServer server;
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
      std::string answer;
      const std::string listAddress = moduleListQuery();
      {
        URL query(listAddress);
        query.fetchToString(answer);
      }
      // Checked before the parser sees the bytes, and before anything is planned.
      if (!keys.empty()) verifyModuleListSignature(keys, listAddress, answer);
      ModuleList available;
      available.readMemory(answer.data(), answer.size());
      if (!keys.empty()) requireSha256(available);

      repairInterruptedInstallations(installed, available);
      buildDownloadQueue(installed, available);
      removeUnusedDownloads(installed, available);
      status.downloadQueue.forEach([](Module& module) {
        logPrintf("component %s is out of date (contentLength = %d)\n", module.name.c_str(),
                  static_cast<int>(module.contentLength));
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
  // Taking the module and marking it in one locked step: a module the client
  // moves forward meanwhile is never passed over.
  while (Module* module = status.downloadQueue.takeNext(critical)) {
    EarlierWork earlier = findEarlierWork(*module);
    if (earlier == EarlierWork::None) fetchComponent(*module);
    if (earlier != EarlierWork::Installed) {
      module->state = Installing;
      installComponent(*module);
    }
    module->state = Complete;
  }
}
