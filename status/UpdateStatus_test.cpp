#include "status/UpdateStatus.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/Modules.h"

namespace {
// Each change as "stage subject progress error".
struct RecordingObserver : StatusObserver {
  void statusChanged(UpdateStatus& status) override {
    seen.push_back(std::to_string(status.stage) + " " + (status.subject ? status.subject->name : "-") + " " +
                   std::to_string(status.progress) + " " + status.errorText);
  }
  std::vector<std::string> seen;
};
}  // namespace

// A parallel walk's progress carries its module; a new stage starts the progress again.
TEST(UpdateStatus, ProgressCarriesItsModuleAndANewStageStartsItAgain) {
  UpdateStatus status;
  Module* a = testing_support::addModule(status.downloadQueue, "a.dll");
  Module* b = testing_support::addModule(status.downloadQueue, "b.dll");
  RecordingObserver observer;
  status.addObserver(&observer);
  status.setStage(DownloadingModule, a);
  status.setProgress(70);
  status.setStage(InstallingModule, a);
  status.setProgress(30, b);
  status.setStage(Done);
  status.setError("Error: disk full");
  const auto line = [](RunStage stage, const char* subject, const char* rest) {
    return std::to_string(stage) + " " + subject + " " + rest;
  };
  EXPECT_EQ(observer.seen, (std::vector<std::string>{
                               line(DownloadingModule, "a.dll", "0 "), line(DownloadingModule, "a.dll", "70 "),
                               line(InstallingModule, "a.dll", "0 "), line(DownloadingModule, "b.dll", "30 "),
                               line(Done, "b.dll", "0 "), line(Done, "b.dll", "0 Error: disk full")}));
}
