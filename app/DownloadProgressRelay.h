#pragma once
#include "net/URL.h"
#include "status/UpdateStatus.h"

// Forwards a module's download percentage to the status.
class DownloadProgressRelay : public URLObserver {
 public:
  DownloadProgressRelay(UpdateStatus* status, Module* module) : status(status), module(module) {}
  void notify(URL& url) override { status->setProgress(url.progress, module); }

 private:
  UpdateStatus* status;
  Module* module;
};
