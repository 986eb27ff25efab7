#include "status/ProgressWindow.h"

#include <thread>

#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/stringify.h"

namespace {
constexpr uint32_t kCloseWait = 20000;
}

ProgressWindow::ProgressWindow() : dialogUp(), report(nullptr), noticeText(), moduleTotal(-1), dialog(nullptr) {
  openDisplay();
}

ProgressWindow::~ProgressWindow() {
  // Asked to close, the user-interface thread ends by itself; it must be gone
  // before what it uses.
  endInterface();
  wait(kInfinite);
  closeDisplay();
}

void ProgressWindow::setReport(const MaintenanceReport* maintenance) {
  report = maintenance;
  if (hasNotice()) noticeText = withCarriageReturns(report->message);
}

bool ProgressWindow::hasNotice() const { return report != nullptr && report->statusNotUp(); }

std::string ProgressWindow::withCarriageReturns(const std::string& text) {
  std::string result;
  result.reserve(text.size());
  for (char c : text) {
    if (c == '\n') result += '\r';
    result += c;
  }
  return result;
}

uint32_t ProgressWindow::waitForClose() {
  bool down = report != nullptr && !report->updatesAllowed();
  return wait(down ? kInfinite : kCloseWait);
}

bool ProgressWindow::waitForWindow() {
  for (;;) {
    // Checked first: a thread that has ended leaves the signal abandoned, and
    // asking about an abandoned signal throws.
    if (wait(0) != kWaitTimeout) return false;
    try {
      if (dialogUp.isHeldElsewhere()) return true;
    } catch (const MutexException&) {
      // The thread ended between the two questions; asking took the abandoned
      // signal over, so give it back.
      if (wait(0) != kWaitObject0) throw;
      dialogUp.unlock();
      return false;
    }
    std::this_thread::yield();
  }
}

ProgressView ProgressWindow::describe(const UpdateStatus& status, int32_t moduleTotal, bool notice) {
  ProgressView view;
  view.moduleTotal = moduleTotal;
  if (view.moduleTotal == -1 && status.downloadQueue.size() != 0)
    view.moduleTotal = static_cast<int32_t>(status.downloadQueue.count(true));
  view.done = static_cast<int32_t>(status.downloadQueue.countFetched(true));
  if (view.moduleTotal != -1) view.text = "[" + stringify(view.done) + "/" + stringify(view.moduleTotal) + "] ";
  switch (status.stage) {
    case FindingInstalledModules:
      view.text += "Finding Installed Modules";
      break;
    case FindingAvailableModules:
      view.text += "Finding Available Modules";
      break;
    case DownloadingModule:
      if (status.subject != nullptr) view.text += status.subject->name;
      view.text += " downloading";
      break;
    case InstallingModule:
      if (status.subject != nullptr) view.text += status.subject->name;
      view.text += " installed";
      break;
    case LaunchingProgram:
      view.text += "Launching Program";
      break;
    case UpdatingInstalledModulesList:
      view.text += "Updating Installed Modules List";
      break;
    case Done:
      view.text += "Done";
      view.enableClose = notice;
      view.close = !notice;
      break;
    case NetworkUnavailable:
      view.text += "Network Unavailable";
      view.enableClose = true;
      break;
    default:
      break;
  }
  return view;
}

void ProgressWindow::statusChanged(UpdateStatus& status) {
  bool windowUp = waitForWindow();
  logPrintf("observed status change\n");
  ProgressView view = describe(status, moduleTotal, hasNotice());
  if (windowUp && moduleTotal == -1 && view.moduleTotal != -1) showRange(view.moduleTotal);
  moduleTotal = view.moduleTotal;
  if (!status.errorText.empty()) {
    logPrintf("observer got error: %s\n", status.errorText.c_str());
    showError(status.errorText, windowUp);
  }
  if (!windowUp) return;
  if (moduleTotal != -1) showPosition(view.done);
  if (view.enableClose) allowClose();
  if (view.close) closeWindow();
  showText(view.text);
}
