#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <regex>

#include "net/URL.h"
#include "tests/TestServer.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
std::string upperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> linesStartingWith(const LogCapture& log, const std::string& prefix) {
  std::vector<std::string> selected;
  for (const std::string& line : log.lines())
    if (line.rfind(prefix, 0) == 0) selected.push_back(line);
  return selected;
}

// Whether text reads as pattern: "#" is the count of bytes received, which
// depends on how much the platform's client had handed on when the body broke
// off (WinINet fills its whole buffer first); a pattern ending in "(" is a start.
bool matchesFailure(const std::string& text, std::string pattern) {
  pattern = std::regex_replace(pattern, std::regex(R"([().])"), R"(\$&)");
  pattern = std::regex_replace(pattern, std::regex("#"), "([0-9]{1,3}|[0-4][0-9]{3}|5000)");
  return std::regex_match(text, std::regex(pattern + (pattern.back() == '(' ? R"([^\r\n]+\))" : "")));
}
}  // namespace

// An updater whose debug delay (3 s after each fetch that succeeds) is recorded
// instead of waited out, and the server its modules come from.
class ComponentDownload : public ::testing::Test {
 protected:
  UpdaterFixture updater{{{"debugdelay", "0x3"}}};
  RecordedDelays delays;
  TestServer server;
};

// The body lands beside the target, in directories made outermost first, and
// replaces an earlier "NAME.new" from its first byte; the debug delay follows
// each fetch but a failed one, which passes the fetcher's error on.
TEST_F(ComponentDownload, TheBodyLandsBesideTheTargetInDirectoriesMadeOutermostFirst) {
  const std::string bytes = testBytes(20000);
  server.setRoute("/a.bin", bytes);
  Module module = makeModule("data/maps/a.bin", false, server.baseUrl() + "/a.bin");
  LogCapture log;
  updater->fetchComponent(module);
  writeFile("data/maps/a.bin.new", bytes + " and more from an earlier run");
  updater->fetchComponent(module);
  EXPECT_EQ(log.lines()[0], "fetching component data/maps/a.bin");
  EXPECT_EQ(linesStartingWith(log, "ensureDirectoryExistsForPath"),
            (std::vector<std::string>{"ensureDirectoryExistsForPath: making directory data",
                                      "ensureDirectoryExistsForPath: making directory data/maps"}));
  EXPECT_EQ(contentsOf({"data/maps/a.bin.new", "data/maps/a.bin"}), bytes + "|-");
  EXPECT_EQ(updater->status.progress, 100);
  Module missing = makeModule("a.bin", false, server.baseUrl() + "/missing");
  EXPECT_THROW(updater->fetchComponent(missing), FileNotFoundException);
  EXPECT_EQ(linesStartingWith(log, "dd = "), (std::vector<std::string>{"dd = 0x3", "dd = 0x3"}));
  EXPECT_EQ(delays.requested, (std::vector<uint32_t>{3000, 3000}));
}

TEST_F(ComponentDownload, AFileOrFolderInTheWayIsReportedUnderTheModulesNameAndLeftAlone) {
  writeFile("plain", "not a directory");
  writeFile("data/kept", "x");
  writeFile("b.bin.new/kept", "x");
  // The module's name and the text after it (nullptr: the system's text); the last is longer than any file name.
  const std::pair<std::string, const char*> cases[] = {
      {"plain/a.bin", nullptr}, {"data", "the target is a folder"}, {"b.bin", nullptr},
      {std::string(4000, 'n'), nullptr}};
  for (const auto& [name, text] : cases) {
    Module module = makeModule(name, false, "http://127.0.0.1:1/never");
    const std::string failure = failureText([&] { updater->fetchComponent(module); });
    const std::string prefix = name + ": ";
    EXPECT_EQ(failure.rfind(prefix, 0), 0u) << failure;
    EXPECT_GT(failure.size(), prefix.size());
    EXPECT_TRUE(text == nullptr || failure == prefix + text) << failure;
  }
  EXPECT_EQ(contentsOf({"plain", "data/kept", "b.bin.new/kept"}), "not a directory|x|x");
}

// Every way a body can fail to be the file: a clear text naming the module and
// the bytes that came, and the installed file untouched.
TEST_F(ComponentDownload, ABodyThatIsNotTheWholeFileFailsNamingTheModuleAndTheBytes) {
  URL::setStallTimeoutForTesting(1);
  // In failure "#" stands for the bytes received; after a closing "(" comes a one-line reason and ")".
  struct Case { const char* what; BodyMode mode; long long announced; int64_t listLength; int status;
                std::string failure; };
  const Case cases[] = {
      {"cut short", BodyMode::CutShort, 8000, -1, 200, "a.bin: incomplete download (# of 8000 bytes)"},
      {"stalls mid-body", BodyMode::StallBody, 8000, -1, 200, "a.bin: incomplete download (# of 8000 bytes)"},
      {"reset without a length", BodyMode::Reset, -1, -1, 200, "a.bin: download failed after # bytes ("},
      {"reset with its length", BodyMode::Reset, 9000, -1, 200, "a.bin: incomplete download (# of 9000 bytes)"},
      {"no length, shorter than the list", BodyMode::NoLength, -1, 8000, 200,
       "a.bin: incomplete download (5000 of 8000 bytes)"},
      {"no length, longer than the list", BodyMode::NoLength, -1, 3000, 200,
       "a.bin: download too long (5000 of 3000 bytes)"},
      {"server error", BodyMode::Normal, -1, -1, 500, "Server data not available (error code 500)"},
      {"a length over 4 GiB", BodyMode::CutShort, 5LL << 30, -1, 200,
       "a.bin: incomplete download (# of 5368709120 bytes)"},
  };
  writeFile("a.bin", "installed");
  for (const Case& c : cases) {
    server.setRoute("/a.bin", Route{c.status, testBytes(5000), c.mode, c.announced});
    Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin");
    module.contentLength = c.listLength;
    const std::string failure = failureText([&] { updater->fetchComponent(module); });
    EXPECT_TRUE(matchesFailure(failure, c.failure)) << c.what << ": " << failure;
    EXPECT_EQ(readFile("a.bin"), "installed") << c.what;
  }
  URL::setStallTimeoutForTesting(0);
}

// Failures that may pass are tried again, about 1, 2, 4 s apart or as long
// as Retry-After asks (up to a minute); the rest end the fetch at once, and the
// last failure's text is the one a single try gives.
TEST_F(ComponentDownload, TransientFailuresAreRetriedThreeTimesWithBackoff) {
  std::vector<uint32_t>& pauses = updater.retryPauses;
  // failure is "" when the fetch ends well.
  struct Case { const char* what; int failFirst; BodyMode failMode; int failStatus; const char* retryAfter;
                std::string failure; std::vector<uint32_t> pausesAtLeast; };
  const Case cases[] = {
      {"503 twice", 2, BodyMode::Normal, 503, "", "", {1000, 2000}},
      {"429 asking for 7 s", 1, BodyMode::Normal, 429, "7", "", {7000}},
      {"Retry-After over a minute", 1, BodyMode::Normal, 503, "3600", "", {60000}},
      {"cut short", 1, BodyMode::CutShort, 200, "", "", {1000}},
      {"reset", 2, BodyMode::Reset, 200, "", "", {1000, 2000}},
      {"404 is final", 1, BodyMode::Normal, 404, "", "Server data not available (error code 404)", {}},
      {"500 four times", 4, BodyMode::Normal, 500, "", "Server data not available (error code 500)",
       {1000, 2000, 4000}},
  };
  int served = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    pauses.clear();
    Route route{200, testBytes(5000)};
    std::tie(route.failFirst, route.failMode, route.failStatus) = std::tie(c.failFirst, c.failMode, c.failStatus);
    if (*c.retryAfter) route.headers = {{"Retry-After", c.retryAfter}};
    server.setRoute("/a.bin", route);
    Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin");
    LogCapture log;
    EXPECT_EQ(failureText([&] { updater->fetchComponent(module); }), c.failure);
    EXPECT_TRUE(!c.failure.empty() || readFile("a.bin.new") == route.body);
    ASSERT_EQ(pauses.size(), c.pausesAtLeast.size());
    for (std::size_t i = 0; i < pauses.size(); ++i) {
      EXPECT_GE(pauses[i], c.pausesAtLeast[i]);
      EXPECT_LE(pauses[i], c.pausesAtLeast[i] * 5 / 4);
    }
    EXPECT_EQ(linesStartingWith(log, "retry ").size(), pauses.size());
    served += static_cast<int>(pauses.size()) + 1;  // the tries
    EXPECT_EQ(static_cast<int>(server.requests().size()), served);
  }
  Module refused = makeModule("a.bin", false, "http://127.0.0.1:" + std::to_string(closedPort()) + "/a.bin");
  pauses.clear();
  EXPECT_THROW(updater->fetchComponent(refused), FileNotFoundException);
  EXPECT_EQ(pauses.size(), 3u);
}

// The server sends more than it announces: either the client stops at the
// announced length and the checksum of the whole file refuses that part, or it
// reads on and the length check refuses the excess.
TEST_F(ComponentDownload, ABodyLongerThanAnnouncedIsNeverTakenForTheFile) {
  server.setRoute("/a.bin", Route{200, testBytes(5000), BodyMode::CutShort, 3000});
  Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin", md5Of(testBytes(5000)));
  EXPECT_THROW(updater->fetchComponent(module), IOException);
}

TEST_F(ComponentDownload, TheFileIsCheckedAgainstItsSha256ElseItsMd5InDigestFormBeforeItCanBeInstalled) {
  const std::string bytes = testBytes(30000);
  server.setRoute("/a.bin", bytes);
  server.setRoute("/b.bin", Route{200, bytes, BodyMode::NoLength});
  const std::string md5 = md5Of(bytes), sha256 = hexText(Digest::of(DigestAlgorithm::Sha256, bytes));
  const std::string otherMd5 = md5Of("other"), otherSha256 = hexText(Digest::of(DigestAlgorithm::Sha256, "other"));
  // failure is empty when the file is accepted.
  struct Case { const char* path; std::string md5sum, sha256, failure; } cases[] = {
      {"/a.bin", upperCase(md5), "", ""},
      {"/b.bin", "not-a-digest", "", ""},
      {"/b.bin", upperCase(otherMd5), "",
       "a.bin: md5sum mismatch (expected " + upperCase(otherMd5) + ", got " + md5 + ")"},
      {"/a.bin", otherMd5, upperCase(sha256), ""},
      {"/b.bin", md5, otherSha256, "a.bin: sha256 mismatch (expected " + otherSha256 + ", got " + sha256 + ")"},
      {"/a.bin", md5, sha256.substr(1), "a.bin: malformed sha256 (" + sha256.substr(1) + ")"},
  };
  writeFile("a.bin", "installed");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.md5sum + " " + c.sha256);
    writeFile("a.bin.new", "earlier");
    Module module = makeModule("a.bin", false, server.baseUrl() + c.path, c.md5sum);
    module.sha256 = c.sha256;
    const std::string failure = failureText([&] { updater->fetchComponent(module); });
    EXPECT_EQ(failure, c.failure);
    // A malformed digest is refused before anything is fetched.
    const bool malformed = c.failure.find("malformed") != std::string::npos;
    EXPECT_EQ(contentsOf({"a.bin.new", "a.bin"}), (malformed ? "earlier" : bytes) + "|installed");
  }
}

// A partial "NAME.new", left by a kill or by a try cut short, goes on from its
// end where the server sends the rest (If-Range on the validator an earlier try
// of this run saw), else starts over; a continued file that fails its digest
// starts over once.
TEST_F(ComponentDownload, APartialDownloadIsContinuedWhereTheServerAndTheDigestAllow) {
  const std::string file = testBytes(100000), other = testBytes(100001).substr(1);
  // partial: "a.bin.new" before the fetch; cutFirst: the first answer breaks off after 40000 bytes; etag: the
  // ETag after that ("v1" before); ranges: the server answers Range requests; served: the length of the file the
  // server has; asked: each request's Range and If-Range; sent: body bytes the server sent in all; failure: ""
  // when the file arrives whole.
  struct Case { const char* what; std::string partial; bool cutFirst; const char* etag; bool ranges; std::size_t served;
                std::string md5; std::vector<std::string> asked; long long sent; std::string failure; };
  const std::string mismatch = "a.bin: md5sum mismatch (expected " + md5Of(other) + ", got " + md5Of(file) + ")";
  const Case cases[] = {
      {"a kill's part, the rest sent", file.substr(0, 40000), false, "v1", true, 100000, md5Of(file),
       {"bytes=40000-"}, 60000, ""},
      {"a kill's part, ranges refused", file.substr(0, 40000), false, "v1", false, 100000, md5Of(file),
       {"bytes=40000-"}, 100000, ""},
      {"a wrong part starts over once", other.substr(0, 40000), false, "v1", true, 100000, md5Of(file),
       {"bytes=40000-", "whole"}, 160000, ""},
      {"a wrong digest fails after that", file.substr(0, 40000), false, "v1", true, 100000, md5Of(other),
       {"bytes=40000-", "whole"}, 160000, mismatch},
      {"a server file shorter than the part", file.substr(0, 40000), false, "v1", true, 30000, md5Of(file),
       {"bytes=40000-", "whole"}, 30000, "a.bin: md5sum mismatch (expected " + md5Of(file) + ", got " +
       md5Of(file.substr(0, 30000)) + ")"},
      {"a try cut short, the same file", "", true, "v1", true, 100000, md5Of(file),
       {"whole", "bytes=40000- if \"v1\""}, 100000, ""},
      {"a try cut short, the file changed", "", true, "v2", true, 100000, md5Of(file),
       {"whole", "bytes=40000- if \"v1\""}, 140000, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Route later{200, file.substr(0, c.served)};
    Route first = c.cutFirst ? Route{200, file.substr(0, 40000), BodyMode::CutShort, 100000} : later;
    later.ranges = first.ranges = c.ranges;
    later.headers = {{"ETag", std::string("\"") + c.etag + "\""}};
    first.headers = {{"ETag", "\"v1\""}};
    server.setRoute("/a.bin", first);
    setRetryPauseForTesting([&](uint32_t) { server.setRoute("/a.bin", later); });
    std::filesystem::remove("a.bin.new");
    if (!c.partial.empty()) writeFile("a.bin.new", c.partial);
    const std::size_t earlier = server.requests().size();
    Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin", c.md5);
    module.contentLength = 100000;
    const std::string failure = failureText([&] { updater->fetchComponent(module); });
    EXPECT_EQ(failure, c.failure);
    EXPECT_TRUE(!failure.empty() || readFile("a.bin.new") == file);
    std::vector<std::string> asked;
    long long sent = 0;
    const std::vector<ServedRequest> requests = server.requests();
    for (auto request = requests.begin() + static_cast<long>(earlier); request != requests.end(); ++request) {
      const std::string ifRange = request->ifRange.empty() ? "" : " if " + request->ifRange;
      asked.push_back(request->range.empty() ? "whole" : request->range + ifRange);
      sent += request->bytesSent;
    }
    EXPECT_EQ(asked, c.asked);
    EXPECT_EQ(sent, c.sent);
  }
}
