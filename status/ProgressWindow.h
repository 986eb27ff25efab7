#pragma once
#include <cstdint>
#include <string>

#include "settings/MaintenanceReport.h"
#include "status/UpdateStatus.h"
#include "support/Mutex.h"
#include "support/Thread.h"

#ifdef _WIN32
typedef void* DialogHandle;  // HWND
#else
struct TerminalDialog;
typedef TerminalDialog* DialogHandle;
#endif

// What the window shows for one status: the text line and the bar.
struct ProgressView {
  // -1 until the queue has been seen; then the bar's range is 0 to this.
  int32_t moduleTotal = -1;
  // Critical modules fetched so far: the bar's position, shown with the range.
  int32_t done = 0;
  std::string text;
  // Done with a notice, or NetworkUnavailable: the user may now close it.
  bool enableClose = false;
  // Done without a notice: it closes by itself.
  bool close = false;
};

// The progress display of an update run: a modeless dialog on Windows, a status
// line on a terminal elsewhere. Its own thread runs the user interface; the run
// tells it of every status change. It also shows errors, and ends the program
// with exit code 1 once the user has seen one.
class ProgressWindow : public StatusObserver, public Thread {
 public:
  ProgressWindow();
  // Update thread: closes the window if it is still up and waits for its thread.
  ~ProgressWindow() override;

  // Before start: the report decides the form (with or without the notice).
  void setReport(const MaintenanceReport* report);
  // Update thread. Never waits for a window that failed or was closed.
  void statusChanged(UpdateStatus& status) override;
  // Waits for the user when the service is down, else at most 20 s.
  uint32_t waitForClose();
  // User-interface thread.
  uint32_t run() override;

  // The text and bar for a status, given the range already set (or -1).
  static ProgressView describe(const UpdateStatus& status, int32_t moduleTotal, bool notice);
  // Every LF preceded by a CR, for the multi-line notice box.
  static std::string withCarriageReturns(const std::string& text);

 private:
  bool hasNotice() const;
  // Waits until the window is up; false when its thread has ended without one
  // (never created, or closed by the user).
  bool waitForWindow();

  // Platform parts, on the update thread unless said otherwise.
  void openDisplay();
  void closeDisplay();
  void showRange(int32_t total);
  void showPosition(int32_t position);
  void showText(const std::string& text);
  void allowClose();
  void closeWindow();
  // Asks the user-interface thread to end, whether it runs, has ended or never started.
  void endInterface();
  // Never returns: the user sees the text, then the program ends with code 1.
  [[noreturn]] void showError(const std::string& text, bool windowUp);

  Mutex dialogUp;
  const MaintenanceReport* report;
  std::string noticeText;
  int32_t moduleTotal;
  DialogHandle dialog;
};
