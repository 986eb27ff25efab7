#include "tests/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>

#include "support/Log.h"

namespace fs = std::filesystem;

namespace testing_support {

namespace {
std::string processDirectory;

std::string logPath() { return (fs::path(processDirectory) / "update.log").string(); }
}  // namespace

void startTestProcess() {
  processDirectory = makeTempDir();
  fs::current_path(processDirectory);
  // The log opens on its first write; opening it now keeps it here whatever
  // directories the tests move into later.
  logPrintf("%s", "");
}

void finishTestProcess() {
  fs::current_path(binaryDirectory());
  if (std::getenv("UPDATER_KEEP_TEST_DIRS") == nullptr) removeTree(processDirectory);
}

std::string readFile(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
  fs::path parent = fs::u8path(path).parent_path();
  if (!parent.empty()) fs::create_directories(parent);
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) ADD_FAILURE() << "cannot write " << path;
}

bool fileExists(const std::string& path) {
  std::error_code error;
  return fs::exists(path, error);
}

std::string contentsOf(const std::vector<std::string>& paths) {
  std::string text;
  for (const std::string& path : paths) text += (fileExists(path) ? readFile(path) : "-") + "|";
  return text.substr(0, text.size() - 1);
}

ProcessResult runTool(const std::string& baseName, const std::vector<std::string>& arguments) {
  return StartedProgram(builtProgram(baseName), fs::current_path().string(), arguments).wait(60);
}

ProcessResult StartedProgram::wait(unsigned timeoutSeconds) {
  ProcessResult result;
  result.timedOut = !eventually([this] { return !running(); }, timeoutSeconds);
  if (result.timedOut) killAll();
  result.exitCode = exitCode();
  auto text = [](const std::string& bytes) { return onWindows() ? withoutCarriageReturns(bytes) : bytes; };
  result.standardOutput = text(readFile(outputDirectory + "/stdout"));
  result.standardError = text(readFile(outputDirectory + "/stderr"));
  return result;
}

UserSession runAsPlayer(const std::string& program, const std::string& directory, unsigned timeoutSeconds) {
  Player player;
  ProcessResult process = StartedProgram(program, directory).wait(timeoutSeconds);
  UserSession session = player.finish();
  session.process = process;
  return session;
}

void expectLog(const std::vector<std::string>& actual, const std::vector<std::string>& expected) {
  for (std::size_t i = 0; i < std::max(actual.size(), expected.size()); ++i) {
    std::string have = i < actual.size() ? actual[i] : "<missing>",
                want = i < expected.size() ? expected[i] : "<nothing more>";
    bool match = want.rfind("~", 0) == 0 ? std::regex_match(have, std::regex(want.substr(1))) : have == want;
    EXPECT_TRUE(match) << "log line " << i + 1 << "\n  have: " << have << "\n  want: " << want;
  }
}

bool eventually(const std::function<bool()>& condition, double seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

bool hasLine(const std::string& path) { return readFile(path).find('\n') != std::string::npos; }

std::string makeTempDir() {
  std::mt19937_64 random(std::random_device{}());
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = fs::temp_directory_path() / ("updater-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) return candidate.string();
  }
  throw std::runtime_error("cannot create a temporary directory");
}

void removeTree(const std::string& path) {
  std::error_code error;
  fs::remove_all(path, error);
}

std::string builtProgram(const std::string& baseName) {
  return (fs::path(binaryDirectory()) / (baseName + (onWindows() ? ".exe" : ""))).string();
}

std::string testBytes(std::size_t length) {
  std::string bytes(length, '\0');
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
  return bytes;
}

std::string nestedXml(int depth, const std::string& inner) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  text += inner;
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

std::string withoutCarriageReturns(const std::string& text) { return std::regex_replace(text, std::regex("\r\n"), "\n"); }

std::vector<std::string> splitLines(const std::string& text, char separator) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line, separator);) lines.push_back(line);
  return lines;
}

ScopedWorkingDirectory::ScopedWorkingDirectory() : previous(fs::current_path().string()), dir(makeTempDir()) {
  fs::current_path(dir);
}

ScopedWorkingDirectory::~ScopedWorkingDirectory() {
  fs::current_path(previous);
  removeTree(dir);
}

LogCapture::LogCapture() : start(readFile(logPath()).size()) {}

std::string LogCapture::text() const {
  std::string all = readFile(logPath());
  return withoutCarriageReturns(all.size() > start ? all.substr(start) : std::string());
}

std::vector<std::string> LogCapture::lines() const { return splitLines(text()); }

}  // namespace testing_support
