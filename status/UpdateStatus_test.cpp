#include "status/UpdateStatus.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "support/Exceptions.h"

namespace {

struct Seen {
  const char* observer;
  RunStage stage;
  Module* subject;
  int32_t progress;
  std::string errorText;
};

class RecordingObserver : public StatusObserver {
 public:
  RecordingObserver(const char* name, std::vector<Seen>& seen) : name(name), seen(seen) {}
  void statusChanged(UpdateStatus& status) override {
    seen.push_back({name, status.stage, status.subject, status.progress, status.errorText});
    if (throws) throw IOException("observer failed");
  }
  bool throws = false;

 private:
  const char* name;
  std::vector<Seen>& seen;
};

}  // namespace

TEST(UpdateStatus, SettersStoreTheirValuesAndTellEveryObserverInRegistrationOrder) {
  UpdateStatus status;
  EXPECT_EQ(status.stage, Starting);
  EXPECT_EQ(status.subject, nullptr);
  EXPECT_EQ(status.progress, 0);
  EXPECT_EQ(status.errorText, "");
  EXPECT_EQ(status.downloadQueue.size(), 0u);

  // Without observers the setters only store.
  Module* a =
      status.downloadQueue.add(std::make_unique<Module>("a.dll", "1", nullptr, nullptr, nullptr, nullptr, nullptr));
  status.setStage(DownloadingModule, a);
  status.setProgress(35);
  EXPECT_EQ(status.subject, a);
  EXPECT_EQ(status.progress, 35);

  std::vector<Seen> seen;
  RecordingObserver window("window", seen);
  RecordingObserver server("server", seen);
  status.addObserver(&window);
  status.addObserver(&server);

  status.setProgress(70);
  status.setStage(InstallingModule, a);  // progress starts again
  status.setStage(Done);                 // no subject: the last one stays
  status.setError("Error: disk full");   // not a stage: the stage stays
  ASSERT_EQ(seen.size(), 8u);
  const char* order[] = {"window", "server"};
  for (std::size_t i = 0; i < seen.size(); ++i) EXPECT_STREQ(seen[i].observer, order[i % 2]);
  EXPECT_EQ(seen[1].progress, 70);
  EXPECT_EQ(seen[1].stage, DownloadingModule);
  EXPECT_EQ(seen[3].stage, InstallingModule);
  EXPECT_EQ(seen[3].progress, 0);
  EXPECT_EQ(seen[5].stage, Done);
  EXPECT_EQ(seen[5].subject, a);
  EXPECT_EQ(seen[7].errorText, "Error: disk full");
  EXPECT_EQ(seen[7].stage, Done);
  EXPECT_EQ(seen[7].subject, a);
}

TEST(UpdateStatus, AnObserversExceptionEndsTheRoundAndReachesTheCaller) {
  UpdateStatus status;
  std::vector<Seen> seen;
  RecordingObserver window("window", seen);
  RecordingObserver server("server", seen);
  status.addObserver(&window);
  status.addObserver(&server);
  window.throws = true;
  try {
    status.setStage(LaunchingProgram);
    FAIL() << "no exception";
  } catch (const IOException& e) {
    EXPECT_EQ(e, "observer failed");
  }
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_STREQ(seen[0].observer, "window");
  EXPECT_EQ(status.stage, LaunchingProgram);  // stored before the observers were told

  window.throws = false;
  server.throws = true;
  EXPECT_THROW(status.setProgress(5), IOException);
  EXPECT_EQ(seen.size(), 3u);
}
