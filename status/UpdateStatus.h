#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "catalogue/ModuleList.h"
#include "support/Mutex.h"

enum RunStage : int32_t {
  Starting = 0,
  FindingInstalledModules = 1,
  FindingAvailableModules = 2,
  DownloadingModule = 3,
  InstallingModule = 4,
  LaunchingProgram = 5,
  UpdatingInstalledModulesList = 6,
  Done = 7,
  NetworkUnavailable = 8,
};

class UpdateStatus;

class StatusObserver {
 public:
  virtual void statusChanged(UpdateStatus& status) = 0;

 protected:
  ~StatusObserver() = default;
};

// The observable state of the run, with the download queue. Written by the
// update thread and by the download workers of a parallel walk; each change and
// its telling happen under one lock, so observers are told one change at a time,
// each in registration order, and always see a subject with its own progress.
class UpdateStatus {
 public:
  UpdateStatus();
  UpdateStatus(const UpdateStatus&) = delete;
  UpdateStatus& operator=(const UpdateStatus&) = delete;

  void addObserver(StatusObserver* observer);
  // Resets progress; a null subject keeps the previous one.
  void setStage(RunStage stage, Module* subject = nullptr);
  // With a subject, the progress of that module's download: the stage becomes
  // DownloadingModule for it (what it already is when one module downloads at a time).
  void setProgress(int32_t percent, Module* subject = nullptr);
  void setError(const std::string& text);

  std::vector<StatusObserver*> observers;
  ModuleList downloadQueue;
  RunStage stage;
  Module* subject;
  std::string errorText;
  int32_t progress;

 private:
  void notify();

  Mutex changeLock;
};
