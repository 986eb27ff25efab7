#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/DebugDelay.h"
#include "support/Digest.h"
#include "tests/TestServer.h"
#include "tests/UpdaterFixture.h"

using namespace testing_support;

namespace {
std::string upperCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; });
  return text;
}

std::vector<std::string> linesStartingWith(const LogCapture& log, const std::string& prefix) {
  std::vector<std::string> selected;
  for (const std::string& line : log.lines()) {
    if (line.rfind(prefix, 0) == 0) selected.push_back(line);
  }
  return selected;
}

std::string body(std::size_t length) {
  std::string bytes;
  for (std::size_t i = 0; i < length; ++i) bytes += static_cast<char>(i * 31 % 251);
  return bytes;
}

}  // namespace

TEST(ComponentDownload, MissingDirectoriesAreMadeOutermostFirstAndTheBodyLandsBesideTheTarget) {
  UpdaterFixture updater;
  TestServer server;
  const std::string bytes = body(20000);
  Route route;
  route.body = bytes;
  server.setRoute("/files/a.bin", route);
  Module module = makeModule("data/maps/a.bin", false, server.baseUrl() + "/files/a.bin");
  LogCapture log;
  updater->fetchComponent(module);
  EXPECT_EQ(log.lines()[0], "fetching component data/maps/a.bin");
  EXPECT_EQ(linesStartingWith(log, "ensureDirectoryExistsForPath"),
            (std::vector<std::string>{"ensureDirectoryExistsForPath: making directory data",
                                      "ensureDirectoryExistsForPath: making directory data/maps"}));
  EXPECT_EQ(readFile("data/maps/a.bin.new"), bytes);
  EXPECT_FALSE(fileExists("data/maps/a.bin"));
  EXPECT_EQ(updater->status.stage, DownloadingModule);
  EXPECT_EQ(updater->status.subject, &module);
  EXPECT_EQ(updater->status.progress, 100);
  EXPECT_TRUE(linesStartingWith(log, "dd = ").empty());
}

TEST(ComponentDownload, DirectoryWorkOnlyWhereANameHasADirectoryThatIsMissing) {
  UpdaterFixture updater;
  writeFile("present/file", "");
  writeFile("plain", "a file counts as present");
  LogCapture log;
  updater->ensureDirectoryExistsForPath("a.bin");
  updater->ensureDirectoryExistsForPath("present/a.bin");
  updater->ensureDirectoryExistsForPath("plain/a.bin");
  updater->ensureDirectoryExistsForPath("present/new/a.bin");
  updater->ensureDirectoryExistsForPath("/a.bin");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"ensureDirectoryExistsForPath: making directory present/new",
                                                   "ensureDirectoryExistsForPath: making directory "}));
  EXPECT_TRUE(std::filesystem::is_directory("present/new"));
}

TEST(ComponentDownload, AFileOrFolderInTheWayIsReportedUnderTheModulesNameAndLeftAlone) {
  UpdaterFixture updater;
  writeFile("plain", "not a directory");
  writeFile("data/kept", "x");
  writeFile("b.bin.new/kept", "x");
  const struct {
    std::string name;
    const char* text;  // nullptr: the system's text
  } cases[] = {{"plain/a.bin", nullptr},
               {"data", "the target is a folder"},
               {"b.bin", nullptr},
               {std::string(4000, 'n'), nullptr}};  // longer than any file name may be
  for (const auto& c : cases) {
    Module module = makeModule(c.name, false, "http://127.0.0.1:1/never");
    try {
      updater->fetchComponent(module);
      ADD_FAILURE() << c.name << ": no exception";
    } catch (const IOException& e) {
      const std::string prefix = c.name + ": ";
      EXPECT_EQ(e.rfind(prefix, 0), 0u) << e;
      if (c.text != nullptr) {
        EXPECT_EQ(e, prefix + c.text);
      }
      EXPECT_GT(e.size(), prefix.size());
    }
  }
  EXPECT_EQ(readFile("plain") + readFile("data/kept") + readFile("b.bin.new/kept"), "not a directoryxx");
}

TEST(ComponentDownload, AShortBodyIsNeverTakenForTheFile) {
  UpdaterFixture updater;
  TestServer server;
  Route route;
  route.body = body(5000);
  route.mode = BodyMode::CutShort;
  route.announcedLength = 8000;
  server.setRoute("/a.bin", route);
  writeFile("a.bin", "installed");
  Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin");
  try {
    updater->fetchComponent(module);
    FAIL() << "no exception";
  } catch (const IOException& e) {
    EXPECT_EQ(e, "a.bin: incomplete download (5000 of 8000 bytes)");
  }
  EXPECT_EQ(readFile("a.bin"), "installed");
  EXPECT_EQ(readFile("a.bin.new"), route.body);
}

TEST(ComponentDownload, TheFileIsCheckedAgainstItsSha256ElseItsMd5InDigestFormBeforeItCanBeInstalled) {
  UpdaterFixture updater;
  TestServer server;
  const std::string bytes = body(30000);
  Route route;
  route.body = bytes;
  server.setRoute("/a.bin", route);
  route.mode = BodyMode::NoLength;
  server.setRoute("/b.bin", route);
  const std::string md5 = hexText(Digest::of(DigestAlgorithm::Md5, bytes));
  const std::string sha256 = hexText(Digest::of(DigestAlgorithm::Sha256, bytes));
  const std::string otherMd5 = hexText(Digest::of(DigestAlgorithm::Md5, "other"));
  const std::string otherSha256 = hexText(Digest::of(DigestAlgorithm::Sha256, "other"));
  struct Case {
    const char* path;
    std::string md5sum;
    std::string sha256;
    std::string failure;  // empty: accepted
  } cases[] = {
      {"/a.bin", upperCase(md5), "", ""},
      {"/b.bin", "not-a-digest", "", ""},
      {"/b.bin", upperCase(otherMd5), "", "a.bin: md5sum mismatch (expected " + upperCase(otherMd5) + ", got " + md5 + ")"},
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
    std::string failure;
    try {
      updater->fetchComponent(module);
    } catch (const IOException& e) {
      failure = e;
    }
    EXPECT_EQ(failure, c.failure);
    // A malformed digest is refused before anything is fetched.
    EXPECT_EQ(readFile("a.bin.new"), c.failure.find("malformed") != std::string::npos ? "earlier" : bytes);
    EXPECT_EQ(readFile("a.bin"), "installed");
  }
}

TEST(ComponentDownload, ASecondFetchRewritesTheDownloadFromItsFirstByte) {
  UpdaterFixture updater({{"debugdelay", "0x3"}});
  RecordedDelays delays;
  TestServer server;
  Route route;
  route.body = "short";
  server.setRoute("/a.bin", route);
  writeFile("a.bin.new", "a longer download from an earlier run");
  Module module = makeModule("a.bin", false, server.baseUrl() + "/a.bin");
  LogCapture log;
  updater->fetchComponent(module);
  EXPECT_EQ(readFile("a.bin.new"), "short");
  EXPECT_EQ(log.lines().back(), "dd = 0x3");
  EXPECT_EQ(delays.requested, std::vector<uint32_t>{3000});
}

TEST(ComponentDownload, AFailedFetchPassesTheFetchersErrorOn) {
  UpdaterFixture updater({{"debugdelay", "1"}});
  RecordedDelays delays;
  TestServer server;
  Module module = makeModule("a.bin", false, server.baseUrl() + "/missing");
  EXPECT_THROW(updater->fetchComponent(module), FileNotFoundException);
  EXPECT_TRUE(fileExists("a.bin.new"));
  EXPECT_TRUE(delays.requested.empty());
}
