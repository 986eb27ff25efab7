#include "net/URL.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

#include "support/Exceptions.h"
#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using testing_support::BodyMode;
using testing_support::LogCapture;
using testing_support::readFile;
using testing_support::Route;
using testing_support::ScopedWorkingDirectory;
using testing_support::TestServer;

namespace {

class ProgressRecorder : public URLObserver {
 public:
  void notify(URL& url) override { seen.push_back(url.progress); }
  std::vector<int32_t> seen;
};

std::string patternBytes(std::size_t count) {
  std::string bytes(count, '\0');
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

Route bodyRoute(const std::string& body, BodyMode mode = BodyMode::Normal) {
  Route route;
  route.body = body;
  route.mode = mode;
  return route;
}

// Fetches into "body.bin" and returns what landed there.
std::string fetchFile(URL& url) {
  {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen("body.bin", "wb"), std::fclose);
    url.fetchToFile(file.get());
  }
  return readFile("body.bin");
}

// The text of the IOException a fetch of address throws ("" when none).
template <typename Exception>
std::string failureOf(const std::string& address) {
  std::string text;
  try {
    URL(address).fetchToString(text);
  } catch (const Exception& e) {
    return e;
  }
  ADD_FAILURE() << "no exception for " << address;
  return std::string();
}

}  // namespace

// The list, the modules and a failed fetch all go over the one connection,
// with the request recipe.
TEST(URLTest, OneConnectionCarriesEveryFetchOfTheRunWithTheRequestRecipe) {
  ScopedWorkingDirectory dir;
  TestServer server;
  server.setRoute("/list.xml", bodyRoute("<modules/>"));
  server.setRoute("/a.bin", bodyRoute(patternBytes(70000)));
  LogCapture log;
  const std::string address = server.baseUrl() + "/list.xml?lang=en&gamename=a%20b&type=full";
  std::string text;
  URL(address).fetchToString(text);
  EXPECT_EQ(text, "<modules/>");
  EXPECT_EQ(log.lines(), std::vector<std::string>{"url = " + address});
  for (int i = 0; i < 3; ++i) {
    URL module(server.baseUrl() + "/a.bin");
    EXPECT_EQ(fetchFile(module), patternBytes(70000));
  }
  EXPECT_EQ(failureOf<FileNotFoundException>(server.baseUrl() + "/missing"),
            "Server data not available (error code 404)");
  EXPECT_EQ(server.connections(), 1);
  const auto request = server.requests().at(0);
  EXPECT_EQ(request.method + " " + request.path + " " + request.range, "GET /list.xml ");
  // The query arrives exactly as written, escapes included.
  EXPECT_EQ(request.query, "lang=en&gamename=a%20b&type=full");
  EXPECT_EQ(request.userAgent, "KestrawinAutoUpdate/2.5.1vesmar");
}

// Progress is told as reads of 8 KiB would tell it, each change once, and
// only at the end without a length; a body cut short is not forced to 100.
TEST(URLTest, ProgressIsToldPerReadOfTheBodyAndAtTheEndWithoutALength) {
  ScopedWorkingDirectory dir;
  TestServer server;
  const std::string body = patternBytes(20000);
  Route cut = bodyRoute(body.substr(0, 5000), BodyMode::CutShort);
  cut.announcedLength = 9000;
  server.setRoute("/whole", bodyRoute(body));
  server.setRoute("/stream", bodyRoute(body, BodyMode::NoLength));
  server.setRoute("/short", cut);
  server.setRoute("/large", bodyRoute(patternBytes(1 << 20)));
  std::vector<int32_t> everyPercent(101);
  std::iota(everyPercent.begin(), everyPercent.end(), 0);
  const struct {
    const char* path;
    std::vector<int32_t> told;
    uint64_t received;
    int64_t announced;
  } cases[] = {{"/whole", {40, 81, 100}, 20000, 20000},
               {"/stream", {100}, 20000, -1},
               {"/short", {55}, 5000, 9000},
               {"/large", everyPercent, 1 << 20, 1 << 20}};
  for (const auto& c : cases) {
    URL url(server.baseUrl() + c.path);
    ProgressRecorder recorder;
    url.addObserver(&recorder);
    EXPECT_EQ(fetchFile(url).size(), c.received) << c.path;
    EXPECT_EQ(recorder.seen, c.told) << c.path;
    EXPECT_EQ(url.bytesReceived(), c.received) << c.path;
    EXPECT_EQ(url.announcedLength(), c.announced) << c.path;
  }
  URL text(server.baseUrl() + "/stream");
  std::string fetched;
  text.fetchToString(fetched);
  EXPECT_EQ(fetched, body);
}

// A text is read up to its bound, whether the length is announced or not.
TEST(URLTest, AnAnswerOverTheBoundFailsAndStopsAtIt) {
  TestServer server;
  const std::string body = patternBytes(20000);
  Route announcedTooLong = bodyRoute(body.substr(0, 10), BodyMode::CutShort);
  announcedTooLong.announcedLength = 1LL << 40;
  server.setRoute("/announced", announcedTooLong);
  server.setRoute("/streamed", bodyRoute(body, BodyMode::NoLength));
  server.setRoute("/fits", bodyRoute(body));
  for (const char* path : {"/announced", "/streamed"}) {
    std::string text;
    try {
      URL(server.baseUrl() + path).fetchToString(text, 10000);
      ADD_FAILURE() << path << ": no exception";
    } catch (const IOException& e) {
      EXPECT_EQ(e, "Server answer too large (more than 10000 bytes)") << path;
    }
    EXPECT_LE(text.size(), 10000u) << path;
  }
  std::string text;
  URL(server.baseUrl() + "/fits").fetchToString(text, 20000);
  EXPECT_EQ(text, body);
}

TEST(URLTest, UnresolvedHost) {
  std::string text;
  try {
    URL("http://no-such-host.invalid/list.xml").fetchToString(text);
    FAIL() << "a name under .invalid resolved";
  } catch (const FileNotFoundException& e) {
    if (e == "Server not responding") GTEST_SKIP() << "the resolver here did not answer in time";
    EXPECT_EQ(e, "Can't resolve hostname");
  }
}

// A redirection is followed; a self-signed certificate for another name is taken.
TEST(URLTest, RedirectionsAndSelfSignedCertificatesAreFollowed) {
  TestServer server(true);
  Route moved;
  moved.status = 302;
  moved.headers = {{"Location", server.secureBaseUrl() + "/secure.xml?a=1"}};
  server.setRoute("/old", moved);
  server.setRoute("/secure.xml", bodyRoute("<secure/>"));
  std::string text;
  URL(server.secureBaseUrl() + "/old").fetchToString(text);
  EXPECT_EQ(text, "<secure/>");
  EXPECT_EQ(server.requests().back().query, "a=1");
}

// 1023 characters of path and query are fetched; 1024 and more cannot be split.
TEST(URLTest, UrlsThatCannotBeSplitNameTheUrlAndAPathAtTheLimitIsFetched) {
  const std::string longHost = "http://" + std::string(128, 'h') + "/x";
  const std::string longPath = "http://127.0.0.1:1/" + std::string(1000, 'p') + "?" + std::string(23, 'q');
  for (const std::string& address :
       {std::string("not a url"), std::string(""), std::string("ftp://127.0.0.1/x"), longHost, longPath}) {
    std::string text = failureOf<IOException>(address);
    EXPECT_NE(text.find("'" + address + "'"), std::string::npos) << text;
  }
  TestServer server;
  const std::string path = "/" + std::string(1000, 'p'), query = std::string(21, 'q');
  server.setRoute(path, bodyRoute("long"));
  std::string text;
  URL(server.baseUrl() + path + "?" + query).fetchToString(text);
  EXPECT_EQ(text, "long");
  EXPECT_EQ(server.requests().at(0).query, query);
}

TEST(URLTest, FileThatCannotBeWrittenFailsTheFetch) {
  ScopedWorkingDirectory dir;
  TestServer server;
  server.setRoute("/module.bin", bodyRoute(patternBytes(3000)));
  testing_support::writeFile("readonly.bin", "");
  FILE* file = std::fopen("readonly.bin", "rb");
  ASSERT_NE(file, nullptr);
  try {
    URL(server.baseUrl() + "/module.bin").fetchToFile(file);
    ADD_FAILURE() << "a write that failed went unnoticed";
  } catch (const IOException& e) {
    EXPECT_EQ(e.compare(0, 8, "fwrite: "), 0) << e;
  }
  std::fclose(file);
}

// The Linux build sets its time-outs itself; WinINet's are not worth waiting out under Wine.
TEST(URLTest, AStalledServerIsNotRespondingAfterTheTimeOut) {
  if (testing_support::onWindows()) GTEST_SKIP() << "WinINet's own time-outs";
  TestServer server;
  Route stall;
  stall.mode = BodyMode::Stall;
  server.setRoute("/stall", stall);
  URL::setStallTimeoutForTesting(1);
  EXPECT_EQ(failureOf<FileNotFoundException>(server.baseUrl() + "/stall"), "Server not responding");
  URL::setStallTimeoutForTesting(0);
}
