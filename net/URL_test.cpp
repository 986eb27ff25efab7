#include "net/URL.h"

#include <gtest/gtest.h>

#include <cstdio>
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

// Fetches into "body.bin" and returns what landed there, with the pieces seen.
struct FileFetch {
  std::string contents;
  std::vector<std::size_t> pieces;
  std::string piecesJoined;
};

FileFetch fetchFile(URL& url) {
  FileFetch result;
  FILE* file = std::fopen("body.bin", "wb");
  EXPECT_NE(file, nullptr);
  try {
    url.fetchToFile(file, [&result](const char* bytes, std::size_t count) {
      result.pieces.push_back(count);
      result.piecesJoined.append(bytes, count);
    });
  } catch (...) {
    std::fclose(file);
    throw;
  }
  std::fclose(file);
  result.contents = readFile("body.bin");
  return result;
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

TEST(URLTest, SmallBodyToStringWithRequestRecipe) {
  TestServer server;
  server.setRoute("/list.xml", bodyRoute("<modules/>"));
  LogCapture log;
  const std::string address = server.baseUrl() + "/list.xml?lang=en&gamename=a%20b&type=full";
  URL url(address);
  std::string text;
  url.fetchToString(text);

  EXPECT_EQ(text, "<modules/>");
  EXPECT_EQ(url.bytesReceived(), 10u);
  EXPECT_EQ(url.announcedLength(), 10);
  EXPECT_EQ(log.lines(), std::vector<std::string>{"url = " + address});
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/list.xml");
  // The query arrives exactly as written, escapes included.
  EXPECT_EQ(requests[0].query, "lang=en&gamename=a%20b&type=full");
  EXPECT_EQ(requests[0].userAgent, "KestrawinAutoUpdate/2.5.1vesmar");
}

// The list, the modules and a failed fetch all go over the one connection.
TEST(URLTest, OneConnectionCarriesEveryFetchOfTheRun) {
  ScopedWorkingDirectory dir;
  TestServer server;
  server.setRoute("/list.xml", bodyRoute("<modules/>"));
  server.setRoute("/a.bin", bodyRoute(patternBytes(70000)));
  std::string text;
  URL(server.baseUrl() + "/list.xml").fetchToString(text);
  for (int i = 0; i < 3; ++i) {
    URL module(server.baseUrl() + "/a.bin");
    EXPECT_EQ(fetchFile(module).contents, patternBytes(70000));
  }
  EXPECT_EQ(failureOf<FileNotFoundException>(server.baseUrl() + "/missing"),
            "Server data not available (error code 404)");
  std::string again;
  URL(server.baseUrl() + "/list.xml").fetchToString(again);
  EXPECT_EQ(again, "<modules/>");
  EXPECT_EQ(server.connections(), 1);
}

TEST(URLTest, FileInWholePiecesWithProgressPerPiece) {
  ScopedWorkingDirectory dir;
  TestServer server;
  const std::string body = patternBytes(20000);
  server.setRoute("/module.bin", bodyRoute(body));
  URL url(server.baseUrl() + "/module.bin");
  ProgressRecorder recorder;
  url.addObserver(&recorder);
  FileFetch fetched = fetchFile(url);

  EXPECT_EQ(fetched.contents, body);
  EXPECT_EQ(fetched.piecesJoined, body);
  EXPECT_EQ(fetched.pieces, (std::vector<std::size_t>{8192, 8192, 3616}));
  EXPECT_EQ(recorder.seen, (std::vector<int32_t>{40, 81, 100}));
  EXPECT_EQ(url.bytesReceived(), 20000u);
  EXPECT_EQ(url.announcedLength(), 20000);
}

TEST(URLTest, BodyWithoutLengthIsReportedOnceAtTheEnd) {
  ScopedWorkingDirectory dir;
  TestServer server;
  const std::string body = patternBytes(20000);
  server.setRoute("/stream", bodyRoute(body, BodyMode::NoLength));

  URL toFile(server.baseUrl() + "/stream");
  ProgressRecorder fileProgress;
  toFile.addObserver(&fileProgress);
  EXPECT_EQ(fetchFile(toFile).contents, body);
  EXPECT_EQ(fileProgress.seen, std::vector<int32_t>{100});
  EXPECT_EQ(toFile.announcedLength(), -1);
  EXPECT_EQ(toFile.bytesReceived(), 20000u);

  URL toText(server.baseUrl() + "/stream");
  ProgressRecorder textProgress;
  toText.addObserver(&textProgress);
  std::string text;
  toText.fetchToString(text);
  EXPECT_EQ(text, body);
  EXPECT_EQ(textProgress.seen, std::vector<int32_t>{100});
}

TEST(URLTest, BodyCutShortEndsQuietlyWithWhatArrived) {
  ScopedWorkingDirectory dir;
  TestServer server;
  const std::string body = patternBytes(5000);
  Route route = bodyRoute(body, BodyMode::CutShort);
  route.announcedLength = 9000;
  server.setRoute("/short.bin", route);
  URL url(server.baseUrl() + "/short.bin");
  ProgressRecorder recorder;
  url.addObserver(&recorder);

  FileFetch fetched = fetchFile(url);
  EXPECT_EQ(fetched.contents, body);
  EXPECT_EQ(url.bytesReceived(), 5000u);
  EXPECT_EQ(url.announcedLength(), 9000);
  // Not forced to 100: the caller can tell the body is incomplete.
  ASSERT_FALSE(recorder.seen.empty());
  EXPECT_EQ(recorder.seen.back(), 55);
}

TEST(URLTest, AStatusOtherThan200OrARefusedConnectionIsFileNotFound) {
  TestServer server;
  Route failing = bodyRoute("oops");
  failing.status = 500;
  server.setRoute("/broken", failing);
  const std::pair<std::string, std::string> cases[] = {
      {server.baseUrl() + "/missing", "Server data not available (error code 404)"},
      {server.baseUrl() + "/broken", "Server data not available (error code 500)"},
      {"http://127.0.0.1:" + std::to_string(testing_support::closedPort()) + "/x", "Server refused connection"},
  };
  for (const auto& [address, text] : cases) EXPECT_EQ(failureOf<FileNotFoundException>(address), text);
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

TEST(URLTest, RedirectionIsFollowed) {
  TestServer server;
  Route moved;
  moved.status = 302;
  moved.headers = {{"Location", server.baseUrl() + "/new"}};
  server.setRoute("/old", moved);
  server.setRoute("/new", bodyRoute("moved here"));
  std::string text;
  URL(server.baseUrl() + "/old").fetchToString(text);
  EXPECT_EQ(text, "moved here");
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

TEST(URLTest, HttpsWithSelfSignedCertificate) {
  TestServer server(true);
  server.setRoute("/secure.xml", bodyRoute("<secure/>"));
  std::string text;
  URL(server.secureBaseUrl() + "/secure.xml?a=1").fetchToString(text);
  EXPECT_EQ(text, "<secure/>");
  auto requests = server.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().query, "a=1");
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
