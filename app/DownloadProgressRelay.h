#pragma once
#include "net/URL.h"
#include "status/UpdateStatus.h"

// Forwards a download's percentage to the status.
class DownloadProgressRelay : public URLObserver {
 public:
  explicit DownloadProgressRelay(UpdateStatus* status) : status(status) {}
  void notify(URL& url) override { status->setProgress(url.progress); }

 private:
  UpdateStatus* status;
};
