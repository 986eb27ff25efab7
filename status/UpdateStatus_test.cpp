#include "status/UpdateStatus.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/Exceptions.h"
#include "tests/Modules.h"

namespace {
struct Seen {
  const char* observer;
  RunStage stage;
  Module* subject;
  int32_t progress;
  std::string errorText;
};

struct RecordingObserver : StatusObserver {
  RecordingObserver(const char* name, std::vector<Seen>& seen) : name(name), seen(seen) {}
  void statusChanged(UpdateStatus& status) override {
    seen.push_back({name, status.stage, status.subject, status.progress, status.errorText});
    if (throws) throw IOException("observer failed");
  }
  bool throws = false;
  const char* name;
  std::vector<Seen>& seen;
};
}  // namespace

TEST(UpdateStatus, SettersTellEveryObserverInRegistrationOrderAndAnExceptionEndsTheRound) {
  UpdateStatus status;
  Module* a = testing_support::addModule(status.downloadQueue, "a.dll");
  Module* b = testing_support::addModule(status.downloadQueue, "b.dll");
  status.setStage(DownloadingModule, a);  // without observers the setters only store
  std::vector<Seen> seen;
  RecordingObserver window("window", seen);
  RecordingObserver server("server", seen);
  status.addObserver(&window);
  status.addObserver(&server);

  status.setProgress(70);
  status.setStage(InstallingModule, a);  // progress starts again
  status.setProgress(30, b);             // another module's download: its stage and subject
  status.setStage(Done);                 // no subject: the last one stays
  status.setError("Error: disk full");   // not a stage: the stage stays
  ASSERT_EQ(seen.size(), 10u);
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_STREQ(seen[i].observer, i % 2 ? "server" : "window");
  const Seen expected[] = {{"", DownloadingModule, a, 70, ""}, {"", InstallingModule, a, 0, ""},
                           {"", DownloadingModule, b, 30, ""}, {"", Done, b, 0, ""},
                           {"", Done, b, 0, "Error: disk full"}};
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(seen[2 * i + 1].stage, expected[i].stage) << i;
    EXPECT_EQ(seen[2 * i + 1].subject, expected[i].subject) << i;
    EXPECT_EQ(seen[2 * i + 1].progress, expected[i].progress) << i;
    EXPECT_EQ(seen[2 * i + 1].errorText, expected[i].errorText) << i;
  }

  seen.clear();
  window.throws = true;
  EXPECT_THROW(status.setStage(LaunchingProgram), IOException);
  EXPECT_EQ(seen.size(), 1u);
  EXPECT_EQ(status.stage, LaunchingProgram);  // stored before the observers were told
}
