#include <gtest/gtest.h>

#include <algorithm>

#include "tests/TestServer.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
// What the observers are told about modules, in order (under the status's lock).
struct Told { RunStage stage; std::string name; int32_t progress; };
struct Recorder : StatusObserver {
  void statusChanged(UpdateStatus& status) override {
    if (status.subject == nullptr) return;
    told.push_back({status.stage, status.subject->name, status.progress});
    if (status.subject->name == "c1" && status.stage == DownloadingModule && status.progress == 0)
      status.downloadQueue.reposition("c6");  // as a client moving it forward would
  }
  std::vector<Told> told;
};

// Serves the route at /NAME and queues the module announced with its body.
void serveAndQueue(Updater& updater, TestServer& server, const std::string& name, Route route, bool critical = true) {
  server.setRoute("/" + name, route);
  Module module = announcedModule(name, route.body);
  module.url = server.baseUrl() + "/" + name;
  module.critical = critical;
  updater.status.downloadQueue.add(std::make_unique<Module>(module));
}
}  // namespace

TEST(UpdateRun, ParallelDownloadsIsANumberAbove1AndAtMost16ElseOneAtATime) {
  const std::pair<const char*, unsigned> cases[] = {{"", 1},   {"1", 1},  {"0", 1},   {"8", 8},   {" 8\n", 8},
                                                    {"16", 16}, {"17", 16}, {"-3", 1}, {"4x", 1}, {"99999999999999999999", 16}};
  for (const auto& c : cases) EXPECT_EQ(parallelDownloadsOf(c.first), c.second) << c.first;
}

// A slow module first, then small ones; the client moves the last one forward
// as the walk starts.
TEST(UpdateRun, AParallelWalkFetchesEachModuleOnceAndInstallsEachAsItCompletes) {
  UpdaterFixture updater({{"parallelDownloads", "3"}});
  TestServer server;
  Recorder recorder;
  updater->status.addObserver(&recorder);
  const Route slow{200, std::string(64 << 10, 's'), BodyMode::Slow, -1, 16 << 10};
  serveAndQueue(*updater, server, "slow.bin", slow);
  const std::vector<std::string> names = {"c1", "c2", "c3", "c4", "c5", "c6", "n1", "n2"};
  for (const std::string& name : names)
    serveAndQueue(*updater, server, name, Route{200, std::string(20000, name[1])}, name[0] == 'c');
  updater->fetchAndInstallModules(true);
  std::vector<std::string> paths;
  for (const ServedRequest& request : server.requests()) paths.push_back(request.path.substr(1));
  EXPECT_EQ(paths.size(), 7u);
  EXPECT_LT(std::find(paths.begin(), paths.end(), "c6"), std::find(paths.begin(), paths.end(), "c4"));
  EXPECT_EQ(readFile("slow.bin"), slow.body);
  for (const std::string& name : names) EXPECT_EQ(fileExists(name), name[0] == 'c') << name;
  // Each module's percentages rise to one 100 under its own name; the small
  // ones were installed while the slow one was still on its way.
  std::map<std::string, int32_t> last;
  std::size_t slowDone = 0, smallInstalled = 0;
  for (std::size_t i = 0; i < recorder.told.size(); ++i) {
    const Told& t = recorder.told[i];
    if (t.stage == InstallingModule && t.name != "slow.bin") smallInstalled = i;
    if (t.stage != DownloadingModule) continue;
    EXPECT_GE(t.progress, last[t.name]) << t.name;
    EXPECT_LT(last[t.name], 100) << t.name;
    last[t.name] = t.progress;
    if (t.name == "slow.bin" && t.progress == 100) slowDone = i;
  }
  EXPECT_LT(smallInstalled, slowDone);
  for (const auto& seen : last) EXPECT_EQ(seen.second, 100) << seen.first;

  updater->fetchAndInstallModules(false);
  for (const std::string& name : names) EXPECT_EQ(readFile(name), std::string(20000, name[1])) << name;
  EXPECT_EQ(server.requests().size(), 9u);
  updater->status.downloadQueue.forEach([](Module& module) { EXPECT_EQ(module.state, Complete) << module.name; });
}

// The failing module's own text ends the pass; the transfer still running
// stops early, and nothing more is fetched or put in place.
TEST(UpdateRun, AFailureInOneTransferOfAParallelWalkEndsItWithThatModulesText) {
  // The status of bad.bin's answer, the MD5 announced for it, the failure.
  const struct { int status; const char* md5sum; std::string text; } cases[] = {
      {404, nullptr, "Server data not available (error code 404)"},
      {200, "00000000000000000000000000000000",
       "bad.bin: md5sum mismatch (expected 00000000000000000000000000000000, got " + md5Of("bad") + ")"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    UpdaterFixture updater({{"parallelDownloads", "2"}});
    TestServer server;
    const Route big{200, std::string(1 << 20, 'b'), BodyMode::Slow, -1, 64 << 10};
    serveAndQueue(*updater, server, "big.bin", big);
    serveAndQueue(*updater, server, "bad.bin", Route{c.status, "bad"});
    if (c.md5sum != nullptr) updater->status.downloadQueue.find("bad.bin")->md5sum = c.md5sum;
    serveAndQueue(*updater, server, "later.bin", big);  // never asked for
    EXPECT_EQ(failureText([&] { updater->fetchAndInstallModules(true); }), c.text);
    EXPECT_LT(readFile("big.bin.new").size(), big.body.size());
    EXPECT_FALSE(fileExists("big.bin") || fileExists("bad.bin") || fileExists("later.bin.new"));
    EXPECT_EQ(updater->status.downloadQueue.find("later.bin")->state, Pending);
    EXPECT_EQ(server.requests().size(), 2u);
  }
}
