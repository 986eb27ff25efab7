// updater-status, the built program, against the real status server.
#include <gtest/gtest.h>

#include "status/StatusServer.h"
#include "tests/Modules.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
constexpr uint16_t kToolPort = 29160;

ProcessResult statusTool(const std::vector<std::string>& arguments) { return runTool("updater-status", arguments); }

// A server whose run has begun, with the queue p (Complete), q (Fetching), r, s, t.
struct Running {
  explicit Running(uint16_t port, bool begun = true) : server(port) {
    status.addObserver(&server);
    server.start();
    if (begun) status.setStage(FindingAvailableModules);
    addModule(status.downloadQueue, "p", Complete);
    addModule(status.downloadQueue, "q", Fetching);
    addModules(status.downloadQueue, {"r", "s", "t"});
  }
  std::string order() {
    std::string names;
    for (const std::string& name : namesOf(status.downloadQueue)) names += name;
    return names;
  }
  LogCapture log;
  UpdateStatus status;
  StatusServer server;
};
}  // namespace

TEST(StatusTool, QueuePrioritizeAndRateSpeakTheWireFormatToTheServer) {
  // The tool's output and the queue afterwards.
  struct Case { std::vector<std::string> arguments; std::string output, order; };
  const std::string queueAnswer =
      "< <action name=\"downloadQueue\">\\n\\t<item name=\"p\" done=\"true\" />\\n\\t<item name=\"q\"/>\\n"
      "\\t<item name=\"r\"/>\\n\\t<item name=\"s\"/>\\n\\t<item name=\"t\"/>\\n</action>\\n\\0\n";
  const Case cases[] = {
      {{"queue"}, "done    p\nqueued  q\nqueued  r\nqueued  s\nqueued  t\n", "pqrst"},
      {{"--raw", "prioritize", "t", "s"},
       "> <action name=\"getQueue\"/>\\0\n" + queueAnswer +
           "> <action name=\"changeQueue\"><item name=\"t\"/><item name=\"s\"/></action>\\0\n",
       "pqrts"},
      {{"rate", "--raw", "1048576"}, "> <action name=\"setDownloadRate\" rate=\"1048576\"/>\\0\n", "pqrst"},
  };
  uint16_t port = kToolPort;
  for (const Case& each : cases) {
    Running running(port);
    std::vector<std::string> arguments = each.arguments;
    arguments.insert(arguments.begin(), {"--port", std::to_string(port++), "--wait", "30"});
    ProcessResult result = statusTool(arguments);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput, each.output);
    // The tool has gone, so the server has read all it sent.
    running.server.wait(kInfinite);
    EXPECT_EQ(running.order(), each.order);
  }
}

TEST(StatusTool, WatchPrintsEachPushedMessageAsALineAndEndsWithTheRunsError) {
  Running running(kToolPort + 10);
  ProcessResult result;
  std::thread tool([&result] {
    result = statusTool({"--port", std::to_string(kToolPort + 10), "--wait", "30", "prioritize", "nonesuch", "--watch"});
  });
  EXPECT_TRUE(eventually([&] { return running.log.text().find("received changeQueue message") != std::string::npos; }));
  running.status.setStage(DownloadingModule, running.status.downloadQueue.find("q"));
  running.status.setProgress(42);
  running.status.setProgress(100);
  running.status.setError("Error: fetch: Server not responding");
  tool.join();
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.standardOutput,
            "q    0% [....................]  4 files remaining\n"
            "q   42% [########............]  4 files remaining\n"
            "q  100% [####################]  3 files remaining\n"
            "error: Error: fetch: Server not responding\n");
  EXPECT_NE(result.standardError.find("not in the queue: nonesuch"), std::string::npos) << result.standardError;
}

TEST(StatusTool, TellsNoUpdaterNoAnswerAndBadUsageApartByExitCode) {
  Running early(kToolPort + 11, false);
  struct Case { std::vector<std::string> arguments; int exitCode; std::string said; };
  const Case cases[] = {
      {{"--port", std::to_string(closedPort()), "queue"}, 1, "no updater listening"},
      {{"--port", std::to_string(kToolPort + 11), "--wait", "30", "--timeout", "1", "queue"}, 1, "did not answer"},
      {{}, 2, "usage:"},                                      {{"queue", "extra"}, 2, "wrong use of \"queue\""},
      {{"prioritize"}, 2, "wrong use"},                       {{"rate", "fast"}, 2, "whole number"},
      {{"--port", "0", "watch"}, 2, "--port needs a number"}, {{"--verbose", "watch"}, 2, "unknown option --verbose"},
  };
  for (const Case& each : cases) {
    ProcessResult result = statusTool(each.arguments);
    EXPECT_EQ(result.exitCode, each.exitCode) << each.said;
    EXPECT_NE(result.standardError.find(each.said), std::string::npos) << result.standardError;
  }
}
