#include "status/StatusServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>

#include "support/Log.h"
#include "support/stringify.h"
#include "status/StatusClient.h"
#include "status/StatusMessages.h"
#include "tests/Modules.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {
// Ports of their own, away from the real one that a running updater may hold
// and below the range the system hands out for outgoing connections.
constexpr uint16_t kTestPort = 29120;

const std::string kGetQueue = getQueueRequest(), kQueueHead = "<action name=\"downloadQueue\">\n",
                  kQueueTail = "</action>\n";

std::string queueOf(const std::vector<std::string>& names) {
  std::string text = kQueueHead;
  for (const std::string& name : names) text += "\t<item name=\"" + name + "\"/>\n";
  return text + kQueueTail;
}

int countLines(const LogCapture& log, const std::string& line) {
  std::vector<std::string> lines = log.lines();
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

// With no client served, a download and an error are only logged, up to `changes` in all.
void expectRunGoesOn(UpdateStatus& status, const LogCapture& log, int changes) {
  status.setStage(DownloadingModule, addModule(status.downloadQueue, "x.dll", Fetching));
  status.setProgress(100);
  status.setError("Error: x");
  EXPECT_EQ(countLines(log, "observed status change"), changes);
}

// A server with its status, and a client it is known to serve.
struct Served {
  explicit Served(uint16_t port, bool notified = true) : server(port) {
    status.addObserver(&server);
    server.onDownloadRate([](uint64_t rate) { logPrintf("rate %s\n", stringify(rate).c_str()); });
    server.start();
    if (notified) status.setStage(FindingAvailableModules);
    client = std::make_unique<StatusClient>(port, StatusClient::kForever);
    if (notified) queue();  // answered: the client has been accepted
  }
  // The client ends first, so that the connection's TIME_WAIT stays on its side
  // and a later run can listen on the port at once even where that needs
  // the port free (Wine, SO_EXCLUSIVEADDRUSE).
  ~Served() {
    if (!client->connected()) return;
    client->close();
    server.wait(kInfinite);
  }
  std::string queue() {
    client->sendMessage(kGetQueue);
    return next();
  }
  std::string next() {
    std::string message;
    EXPECT_TRUE(client->readMessage(message));
    return message;
  }
  // A request that has no answer, padded with NULs to one full receive chunk:
  // once the server has caught up, it arrives alone and the next starts afresh.
  void sendAlone(const std::string& text) { client->sendBytes(text + std::string(1023 - text.size(), '\0')); }
  // Requests without an answer are known to be read once their log line is there.
  void awaitLog(const std::string& line, int count) {
    EXPECT_TRUE(eventually([&] { return countLines(log, line) >= count; })) << line;
  }
  // The queue p (Fetching), then q, r, s, t (Pending).
  void fillPqrst() {
    addModule(status.downloadQueue, "p", Fetching);
    addModules(status.downloadQueue, {"q", "r", "s", "t"});
  }

  LogCapture log;
  UpdateStatus status;
  StatusServer server;
  std::unique_ptr<StatusClient> client;
};

const std::string kChanged = "received changeQueue message", kNameless = "ignored status request without a name";
}  // namespace

// The tool's raw output shows a mixed queue's answer byte for byte.
TEST(StatusServer, AnswersGetQueueEscapingNamesAndRefusesASecondClient) {
  Served served(kTestPort + 0);
  EXPECT_EQ(served.queue(), kQueueHead + kQueueTail);
  StatusClient second(kTestPort + 0);
  EXPECT_FALSE(second.connected());
  addModule(served.status.downloadQueue, "a.dll", Installing);
  addModule(served.status.downloadQueue, "x&<>\"'.dll", Complete);
  EXPECT_EQ(served.queue(), kQueueHead + "\t<item name=\"a.dll\"/>\n" +
                                "\t<item name=\"x&amp;&lt;&gt;&quot;&apos;.dll\" done=\"true\" />\n" + kQueueTail);
}

TEST(StatusServer, IgnoresRequestsUntilTheFirstStatusChangeThenTakesOneMessageAChunkJoiningSplitOnes) {
  Served served(kTestPort + 10, false);
  served.fillPqrst();
  served.sendAlone(kGetQueue);
  served.client->sendMessage(changeQueueRequest({"t"}));
  served.awaitLog(kChanged, 1);  // both read, neither answered nor applied
  served.status.setStage(FindingAvailableModules);
  served.client->sendBytes(kGetQueue + std::string(1, '\0') + changeQueueRequest({"s"}) + std::string(1, '\0'));
  EXPECT_EQ(served.next(), queueOf({"p", "q", "r", "s", "t"}));
  std::string request = changeQueueRequest({"t"});
  served.client->sendBytes(request.substr(0, 20));
  // Gives the first piece time to arrive on its own; the test holds either way.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  served.client->sendBytes(request.substr(20) + std::string(1, '\0'));
  served.awaitLog(kChanged, 2);
  EXPECT_EQ(served.queue(), queueOf({"p", "q", "t", "r", "s"}));
  EXPECT_EQ(countLines(served.log, kChanged), 2);
  EXPECT_EQ(countLines(served.log, kNameless), 0);
}

// The tool's watch follows the same pushes; here their bytes.
TEST(StatusServer, PushesDownloadStatusAndCompleteForTheModuleBeingFetchedAndEscapedErrors) {
  Served served(kTestPort + 12);
  addModule(served.status.downloadQueue, "done.dll", Complete);
  Module* x = addModule(served.status.downloadQueue, "x.dll", Fetching);
  Module* y = addModule(served.status.downloadQueue, "y.dll", false);
  served.status.setStage(DownloadingModule, x);
  EXPECT_EQ(served.next(), "<action name=\"downloadStatus\">\n\t<status currentfile=\"x.dll\" percentcomplete=\"0\""
                           " filesremaining=\"2\" />\n</action>\n");
  served.status.setProgress(100);
  EXPECT_EQ(served.next(),
            "<action name=\"downloadComplete\">\n\t<status currentfile=\"x.dll\" filesremaining=\"1\" />\n"
            "</action>\n");
  // States the run moves on are counted as they change.
  served.status.downloadQueue.setState(*x, Complete);
  served.status.downloadQueue.setState(*y, Fetching);
  served.status.setStage(DownloadingModule, y);
  EXPECT_EQ(served.next(), "<action name=\"downloadStatus\">\n\t<status currentfile=\"y.dll\" percentcomplete=\"0\""
                           " filesremaining=\"1\" />\n</action>\n");
  // Other stages push nothing; an error is its escaped text, without a line feed.
  served.status.setStage(InstallingModule, x);
  served.status.setError("Error: rename \"a&b\" to <c>");
  EXPECT_EQ(served.next(), "<action name=\"error\" message=\"Error: rename &quot;a&amp;b&quot; to &lt;c&gt;\"/>");
}

TEST(StatusServer, LogsATakenPortAndLeavesTheRunUnaffected) {
  startSockets();
  SocketHandle holder = kNoSocket;
  // Held by someone else already, the server meets the same refusal.
  failureText([&] { holder = listenOnLoopback(StatusServer::kPort); });
  LogCapture log;
  UpdateStatus status;
  StatusServer server;
  status.addObserver(&server);
  server.start();
  ASSERT_EQ(server.wait(kInfinite), kWaitObject0);
  expectLog(log.lines(), {"~Exception in thread: bind: .+"});  // the system's reason follows
  expectRunGoesOn(status, log, 3);
  closeSocket(holder);
}

TEST(StatusServer, EndsServingWhenTheClientClosesOrResetsAndTheRunGoesOn) {
  for (bool reset : {false, true}) {
    Served served(reset ? kTestPort + 16 : kTestPort + 17);
    reset ? served.client->abort() : served.client->close();
    // A serving loop that spun on the dead connection would never end.
    EXPECT_EQ(served.server.wait(kInfinite), kWaitObject0);
    expectRunGoesOn(served.status, served.log, 4);
  }
}

// The destructor wakes the thread from accept or from receive; a hang is caught
// by the test's time-out.
TEST(StatusServer, StopsQuietlyWhileWaitingForAClientOrForARequest) {
  for (bool connected : {false, true}) {
    const uint16_t port = connected ? kTestPort + 24 : kTestPort + 23;
    LogCapture log;
    UpdateStatus status;
    std::unique_ptr<StatusClient> client;
    std::string message;
    {
      StatusServer server(port);
      status.addObserver(&server);
      server.start();
      status.setStage(FindingAvailableModules);
      if (connected) {
        client = std::make_unique<StatusClient>(port, StatusClient::kForever);
        client->sendMessage(kGetQueue);
        ASSERT_TRUE(client->readMessage(message));
      } else {
        // Gives the thread time to reach accept; the test holds either way.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{"observed status change"});
    // The connection has ended too.
    EXPECT_TRUE(!connected || !client->readMessage(message));
  }
}

TEST(StatusServer, IgnoresMalformedRequestsAndBadRatesAndKeepsServing) {
  Served served(kTestPort + 18);
  served.fillPqrst();
  int ignored = 0;
  for (const std::string& bad : std::vector<std::string>{"<action name=\"getQueue\"", "not xml at all", "", "<action/>",
           "<?xml version=\"1.0\"?>", "<action name=\"getQueue\"/><second/>", "\xff\xfe<",
           nestedXml(5000, "<action name=\"getQueue\"/>")}) {
    served.client->sendMessage(bad);
    served.awaitLog(kNameless, ++ignored);
  }
  served.sendAlone("<action name=\"bogus\"/>");
  // A nameless item is skipped; the named ones still count.
  served.client->sendMessage("<action name=\"changeQueue\"><item/>text<other name=\"r\"/><item name=\"t\"/>"
                             "<item name=\"\"/></action>");
  served.awaitLog(kChanged, 1);
  EXPECT_EQ(served.queue(), queueOf({"p", "q", "t", "r", "s"}));
  // Only a whole number of bytes per second that fits 64 bits is passed on.
  int badRates = 0;
  for (const char* rate :
       {"rate=\"-1\"", "rate=\"fast\"", "rate=\"\"", "rate=\" 0\"", "rate=\"18446744073709551616\"", ""}) {
    served.client->sendMessage("<action name=\"setDownloadRate\" " + std::string(rate) + "/>");
    served.awaitLog("ignored setDownloadRate request without a valid rate", ++badRates);
  }
  for (uint64_t rate : {UINT64_MAX, uint64_t(0)}) {  // what a lax parser makes of the bad ones
    served.client->sendMessage(setDownloadRateRequest(rate));
    served.awaitLog("rate " + stringify(rate), 1);
    EXPECT_EQ(countLines(served.log, "rate " + stringify(rate)), 1);
  }
}

TEST(StatusServer, DropsAMessageThatOutgrowsTheLimitAndKeepsServing) {
  Served served(kTestPort + 19);
  served.fillPqrst();
  auto padded = [](const std::string& names, std::size_t size) {
    std::string text = "<action name=\"changeQueue\">" + names + "<!--";
    text += std::string(size - text.size() - 12, 'x');
    return text + "--></action>";
  };
  std::string oversized = padded("<item name=\"t\"/>", StatusServer::kMaxMessage + 4096);
  // Sent in pieces, as a client streaming it would.
  for (std::size_t at = 0; at < oversized.size(); at += 1000) served.client->sendBytes(oversized.substr(at, 1000));
  served.client->sendBytes(std::string(1, '\0'));
  served.awaitLog("ignored status request longer than 65536 bytes", 1);
  EXPECT_EQ(served.queue(), queueOf({"p", "q", "r", "s", "t"}));
  EXPECT_EQ(countLines(served.log, kChanged), 0);
  // A large message within the limit still counts.
  served.client->sendMessage(padded("<item name=\"s\"/>", StatusServer::kMaxMessage - 1024));
  served.awaitLog(kChanged, 1);
  EXPECT_EQ(served.queue(), queueOf({"p", "q", "s", "r", "t"}));
}

TEST(StatusServer, DropsAClientThatStopsReadingAndNeverHoldsUpTheRun) {
  Served served(kTestPort + 21);
  // About a megabyte per queue answer: a few fill the connection's buffers.
  for (int i = 0; i < 2000; ++i) addModule(served.status.downloadQueue, std::string(500, 'n') + std::to_string(i));
  for (int i = 0; i < 64; ++i) served.sendAlone(kGetQueue);
  // The run's notifications go on while the server thread is stuck, and after.
  Module* x = served.status.downloadQueue.find(std::string(500, 'n') + "0");
  for (int percent = 0; percent <= 100; percent += 10) {
    served.status.setStage(DownloadingModule, x);
    served.status.setProgress(percent);
  }
  served.awaitLog("dropped status client that does not read", 1);
  EXPECT_EQ(served.server.wait(kInfinite), kWaitObject0);
  served.status.setError("Error: x");
  EXPECT_EQ(countLines(served.log, "dropped status client that does not read"), 1);
}

TEST(StatusServer, DropsAClientThatSendsEndlesslyWithoutANulAndKeepsNoMoreThanOneMessage) {
  Served served(kTestPort + 22);
  const std::string piece(1 << 20, 'x');
  // 100 MiB, or as much as goes before the server hangs up.
  for (int i = 0; i < 100 && served.client->sendBytes(piece); ++i) continue;
  served.awaitLog("dropped status client sending more than 1048576 bytes without an end", 1);
  EXPECT_EQ(served.server.wait(kInfinite), kWaitObject0);
}
