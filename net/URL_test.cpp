#include "net/URL.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <numeric>

#include "tests/TestServer.h"
#include "tests/TestSupport.h"

using namespace testing_support;

namespace {

struct ProgressRecorder : URLObserver {
  void notify(URL& url) override { seen.push_back(url.progress); }
  std::vector<int32_t> seen;
};

// Fetches into "body.bin" and returns what landed there.
std::string fetchFile(URL& url) {
  {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen("body.bin", "wb"), std::fclose);
    url.fetchToFile(file.get());
  }
  return readFile("body.bin");
}

// What a fetch of the address gives as text, up to the limit.
std::string fetchText(const std::string& address, uint64_t limit = UINT64_MAX) {
  std::string text;
  URL(address).fetchToString(text, limit);
  return text;
}

// The text of the exception of that kind a fetch of address throws ("" when none).
template <typename Exception>
std::string failureOf(const std::string& address) {
  return failureText<Exception>([&] { fetchText(address); });
}

}  // namespace

// The list, the modules and a failed fetch all go over the one connection,
// with the request recipe.
TEST(URLTest, OneConnectionCarriesEveryFetchOfTheRunWithTheRequestRecipe) {
  ScopedWorkingDirectory dir;
  TestServer server;
  server.setRoute("/list.xml", "<modules/>");
  server.setRoute("/a.bin", testBytes(70000));
  LogCapture log;
  const std::string address = server.baseUrl() + "/list.xml?lang=en&gamename=a%20b&type=full";
  EXPECT_EQ(fetchText(address), "<modules/>");
  EXPECT_EQ(log.lines(), std::vector<std::string>{"url = " + address});
  for (int i = 0; i < 3; ++i) {
    URL module(server.baseUrl() + "/a.bin");
    EXPECT_EQ(fetchFile(module), testBytes(70000));
  }
  EXPECT_EQ(failureOf<FileNotFoundException>(server.baseUrl() + "/missing"),
            "Server data not available (error code 404)");
  EXPECT_EQ(server.connections(), 1);
  // The query arrives exactly as written, escapes included; no range is asked for.
  const auto request = server.requests().at(0);
  EXPECT_EQ(request.method + " " + request.path + "?" + request.query + " [" + request.range + "] " + request.userAgent,
            "GET /list.xml?lang=en&gamename=a%20b&type=full [] KestrawinAutoUpdate/2.5.1vesmar");
}

// Progress is told as reads of 8 KiB would tell it, each change once, and
// only at the end without a length; a body cut short is not forced to 100.
TEST(URLTest, ProgressIsToldPerReadOfTheBodyAndAtTheEndWithoutALength) {
  ScopedWorkingDirectory dir;
  TestServer server;
  const std::string body = testBytes(20000);
  server.setRoute("/whole", body);
  server.setRoute("/stream", Route{200, body, BodyMode::NoLength});
  server.setRoute("/short", Route{200, body.substr(0, 5000), BodyMode::CutShort, 9000});
  server.setRoute("/large", testBytes(1 << 20));
  std::vector<int32_t> everyPercent(101);
  std::iota(everyPercent.begin(), everyPercent.end(), 0);
  // The percentages told, the bytes received and the length announced.
  const struct { const char* path; std::vector<int32_t> told; uint64_t received; int64_t announced; } cases[] = {
      {"/whole", {40, 81, 100}, 20000, 20000}, {"/stream", {100}, 20000, -1}, {"/short", {55}, 5000, 9000},
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
  EXPECT_EQ(fetchText(server.baseUrl() + "/stream"), body);
}

// A text is read up to its bound, whether the length is announced or not; one
// that is not whole is what came, and says why.
TEST(URLTest, ATextOverTheBoundFailsAndOneNotWholeSaysSo) {
  TestServer server;
  const std::string body = testBytes(20000);
  server.setRoute("/announced", Route{200, body.substr(0, 10), BodyMode::CutShort, 1LL << 40});
  server.setRoute("/streamed", Route{200, body, BodyMode::NoLength});
  server.setRoute("/cut", Route{200, body.substr(0, 5000), BodyMode::CutShort, 9000});
  server.setRoute("/reset", Route{200, body.substr(0, 5000), BodyMode::Reset});
  server.setRoute("/fits", body);
  // The fetch's failure, else why the text is not whole; one ending in "after "
  // is the start: the count and reason that follow vary.
  const std::pair<const char*, std::string> cases[] = {
      {"/announced", "Server answer too large (more than 10000 bytes)"},
      {"/streamed", "Server answer too large (more than 10000 bytes)"},
      {"/cut", "incomplete download (5000 of 9000 bytes)"},
      {"/reset", "download failed after "},
  };
  for (const auto& [path, said] : cases) {
    std::string text;
    URL url(server.baseUrl() + path);
    std::string failure = failureText([&] { url.fetchToString(text, 10000); });
    if (failure.empty()) failure = url.incompleteBodyText();
    EXPECT_EQ(said.back() == ' ' ? failure.substr(0, said.size()) : failure, said) << path;
    EXPECT_LE(text.size(), 10000u) << path;
  }
  EXPECT_EQ(fetchText(server.baseUrl() + "/fits", 20000), body);
}

TEST(URLTest, UnresolvedHost) {
  const std::string failure = failureOf<FileNotFoundException>("http://no-such-host.invalid/list.xml");
  if (failure == "Server not responding") GTEST_SKIP() << "the resolver here did not answer in time";
  EXPECT_EQ(failure, "Can't resolve hostname");
}

// A redirection is followed; a self-signed certificate for another name is taken.
TEST(URLTest, RedirectionsAndSelfSignedCertificatesAreFollowed) {
  TestServer server(true);
  Route moved{302, ""};
  moved.headers = {{"Location", server.secureBaseUrl() + "/secure.xml?a=1"}};
  server.setRoute("/old", moved);
  server.setRoute("/secure.xml", "<secure/>");
  EXPECT_EQ(fetchText(server.secureBaseUrl() + "/old"), "<secure/>");
  EXPECT_EQ(server.requests().back().query, "a=1");
}

// 1023 characters of path and query are fetched; 1024 and more cannot be split.
TEST(URLTest, UrlsThatCannotBeSplitNameTheUrlAndAPathAtTheLimitIsFetched) {
  for (const std::string& address : {std::string("not a url"), std::string(""), std::string("ftp://127.0.0.1/x"),
                                     "http://" + std::string(128, 'h') + "/x",
                                     "http://127.0.0.1:1/" + std::string(1000, 'p') + "?" + std::string(23, 'q')}) {
    std::string text = failureOf<IOException>(address);
    EXPECT_NE(text.find("'" + address + "'"), std::string::npos) << text;
  }
  TestServer server;
  const std::string path = "/" + std::string(1000, 'p'), query = std::string(21, 'q');
  server.setRoute(path, "long");
  EXPECT_EQ(fetchText(server.baseUrl() + path + "?" + query), "long");
  EXPECT_EQ(server.requests().at(0).query, query);
}

TEST(URLTest, FileThatCannotBeWrittenFailsTheFetch) {
  ScopedWorkingDirectory dir;
  TestServer server;
  server.setRoute("/module.bin", testBytes(3000));
  writeFile("readonly.bin", "");
  FILE* file = std::fopen("readonly.bin", "rb");
  ASSERT_NE(file, nullptr);
  const std::string failure = failureText([&] { URL(server.baseUrl() + "/module.bin").fetchToFile(file); });
  EXPECT_EQ(failure.compare(0, 8, "fwrite: "), 0) << "a write that failed went unnoticed: " << failure;
  std::fclose(file);
}

// The Linux build sets its time-outs itself; WinINet's are not worth waiting out under Wine.
TEST(URLTest, AStalledServerIsNotRespondingAfterTheTimeOut) {
  if (onWindows()) GTEST_SKIP() << "WinINet's own time-outs";
  TestServer server;
  server.setRoute("/stall", Route{200, "", BodyMode::Stall});
  URL::setStallTimeoutForTesting(1);
  EXPECT_EQ(failureOf<FileNotFoundException>(server.baseUrl() + "/stall"), "Server not responding");
  URL::setStallTimeoutForTesting(0);
}
