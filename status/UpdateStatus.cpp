#include "status/UpdateStatus.h"

UpdateStatus::UpdateStatus()
    : observers(), downloadQueue(), stage(Starting), subject(nullptr), errorText(), progress(0) {}

void UpdateStatus::addObserver(StatusObserver* observer) { observers.push_back(observer); }

void UpdateStatus::setStage(RunStage newStage, Module* newSubject) {
  MutexGuard guard(changeLock);
  stage = newStage;
  if (newSubject != nullptr) subject = newSubject;
  progress = 0;
  notify();
}

void UpdateStatus::setProgress(int32_t percent, Module* newSubject) {
  MutexGuard guard(changeLock);
  if (newSubject != nullptr) {
    stage = DownloadingModule;
    subject = newSubject;
  }
  progress = percent;
  notify();
}

void UpdateStatus::setError(const std::string& text) {
  MutexGuard guard(changeLock);
  errorText = text;
  notify();
}

void UpdateStatus::notify() {
  // An observer's exception ends the round: the later ones are not told.
  for (StatusObserver* observer : observers) observer->statusChanged(*this);
}
