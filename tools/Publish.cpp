#include "tools/Publish.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <thread>

#include "app/DeferredScript.h"
#include "catalogue/ModuleList.h"
#include "catalogue/UpdatePlan.h"
#include "support/Exceptions.h"
#include "support/Digest.h"
#include "support/Thread.h"
#include "support/XmlDoc.h"
#include "tools/Signing.h"

namespace fs = std::filesystem;

namespace {

typedef std::chrono::steady_clock Clock;

constexpr std::size_t kChunk = 1 << 20;
constexpr unsigned kMaxHashers = 4;
// How many offending names a refusal lists.
constexpr std::size_t kNamesShown = 20;

fs::path pathOf(const std::string& utf8) { return fs::u8path(utf8); }
std::string textOf(const fs::path& path) { return path.u8string(); }

bool globAt(const char* pattern, const char* name) {
  while (*pattern != '\0') {
    if (pattern[0] == '*' && pattern[1] == '*') {
      const char* rest = pattern + 2;
      if (*rest == '/' && globAt(rest + 1, name)) return true;
      for (const char* at = name;; ++at) {
        if (globAt(rest, at)) return true;
        if (*at == '\0') return false;
      }
    }
    if (*pattern == '*') {
      for (const char* at = name;; ++at) {
        if (globAt(pattern + 1, at)) return true;
        if (*at == '\0' || *at == '/') return false;
      }
    }
    if (*name == '\0' || (*pattern == '?' ? *name == '/' : *pattern != *name)) return false;
    ++pattern;
    ++name;
  }
  return *name == '\0';
}

// Whether one path lies inside (or is) the other.
bool nested(const fs::path& inner, const fs::path& outer) {
  auto mismatch = std::mismatch(outer.begin(), outer.end(), inner.begin(), inner.end());
  return mismatch.first == outer.end();
}

[[noreturn]] void refuse(const std::string& what, const std::vector<std::string>& names) {
  std::string text = "refused, nothing written: " + what + ":";
  for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i) text += "\n  " + names[i];
  if (names.size() > kNamesShown) text += "\n  ... and " + std::to_string(names.size() - kNamesShown) + " more";
  throw IOException(text);
}

struct ReleaseFile {
  std::string name;
  uint64_t size = 0;
  std::string md5sum;
  std::string sha256;
};

// The release's files by name, in byte order of the names.
std::vector<ReleaseFile> scanRelease(const fs::path& release) {
  std::vector<ReleaseFile> files;
  std::vector<std::string> strange;
  std::error_code error;
  fs::recursive_directory_iterator walk(release, error), end;
  for (; !error && walk != end; walk.increment(error)) {
    const fs::directory_entry& entry = *walk;
    std::string name = entry.path().lexically_relative(release).generic_u8string();
    // A link to a folder could loop or reach outside the release.
    if (entry.is_symlink() && entry.is_directory()) {
      strange.push_back(name + " (a link to a folder)");
    } else if (entry.is_regular_file()) {
      files.push_back({name, static_cast<uint64_t>(entry.file_size()), std::string(), std::string()});
    } else if (!entry.is_directory()) {
      strange.push_back(name + " (not a plain file)");
    }
  }
  if (error) throw IOException(textOf(release) + ": " + error.message());
  if (!strange.empty()) refuse("the release holds what the updater cannot install", strange);
  std::sort(files.begin(), files.end(),
            [](const ReleaseFile& a, const ReleaseFile& b) { return a.name < b.name; });
  return files;
}

// Names the updater's plan would refuse, and names that one file system would
// take for one file (the folders on the way included).
void checkNames(const std::vector<ReleaseFile>& files) {
  std::vector<std::string> unsafe;
  std::vector<std::string> twins;
  std::map<std::string, std::string> seen;  // lower-case name or folder -> as spelt
  auto meet = [&](const std::string& spelt) {
    auto placed = seen.emplace(lowerCaseAscii(spelt), spelt);
    if (!placed.second && placed.first->second != spelt) twins.push_back(placed.first->second + " and " + spelt);
  };
  for (const ReleaseFile& file : files) {
    if (!isSafeModuleName(file.name)) unsafe.push_back(file.name);
    for (std::size_t slash = file.name.find('/'); slash != std::string::npos; slash = file.name.find('/', slash + 1))
      meet(file.name.substr(0, slash));
    meet(file.name);
  }
  if (!twins.empty()) refuse("names that differ only in letter case (one file on Windows)", twins);
  if (!unsafe.empty()) refuse("names the updater refuses to install", unsafe);
  const uint64_t largest = static_cast<uint64_t>(std::numeric_limits<decltype(Module::contentLength)>::max());
  std::vector<std::string> large;
  for (const ReleaseFile& file : files)
    if (file.size > largest) large.push_back(file.name + " (" + std::to_string(file.size) + " bytes)");
  if (!large.empty()) refuse("files larger than a module list can announce", large);
}

// The updater's working files, which no module may be named like: the name an
// installer gives the installed-modules file here, the log, the deferred script.
const std::vector<std::string>& reservedNames() {
  static const std::vector<std::string> names = {"installed.xml", "update.log", kDeferredScriptName};
  return names;
}

// The plan itself, on the names alone, as an installation of the previous
// release would make it: every name it leaves out (another module's ".new", a
// working file's name...) is refused before anything is read or written.
void checkNamesWithThePlan(const std::vector<ReleaseFile>& files, const ModuleList& previous) {
  ModuleList names;
  for (const ReleaseFile& file : files) {
    const Module* before = previous.find(file.name);
    std::string version = "1.0";
    try {
      if (before != nullptr) version = nextVersion(before->version);
    } catch (const IOException& e) {
      throw IOException(file.name + ": " + e);
    }
    names.add(
        std::make_unique<Module>(file.name.c_str(), version.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  }
  ModuleList queue;
  planDownloadQueue(queue, previous, names, reservedNames());
  std::vector<std::string> refused;
  for (const ReleaseFile& file : files)
    if (queue.find(file.name) == nullptr) refused.push_back(file.name);
  if (!refused.empty()) refuse("names the updater refuses to install", refused);
}

// Whether the previous record describes the file's very bytes: the same MD5,
// and the same SHA-256 where the record has one.
bool sameContent(const Module& before, const ReleaseFile& file) {
  return before.md5sum == file.md5sum && (before.sha256.empty() || lowerCaseAscii(before.sha256) == file.sha256);
}

// Where the previous release's copies lie, to be linked rather than written
// again when a file has not changed (they are this tool's own output, which
// nothing changes in place). Empty when there are none.
struct PreviousCopies {
  const ModuleList* list;
  fs::path folder;
};

// Hashes release files and copies them into the output; several run at once,
// each taking the next file not yet taken. The first failure stops them all.
// A file the previous release had at the same size is only read at first: when
// its digests match, its previous copy is linked in its place, so a new release
// that changes little costs little more than reading it.
class Hashing {
 public:
  Hashing(std::vector<ReleaseFile>& files, const fs::path& release, const fs::path& copies,
          const PreviousCopies& previous)
      : files(files), release(release), copies(copies), previous(previous), nextFile(0), filesDone(0),
        bytesDone(0), failed(false) {}

  void runAll(std::ostream& progress, bool quiet) {
    unsigned count = std::max(1u, std::min(kMaxHashers, std::thread::hardware_concurrency()));
    std::vector<std::unique_ptr<Worker>> workers;
    for (unsigned i = 0; i < count; ++i) {
      workers.emplace_back(new Worker(*this));
      workers.back()->start();
    }
    Clock::time_point start = Clock::now(), lastReport = start;
    uint64_t total = 0;
    for (const ReleaseFile& file : files) total += file.size;
    for (const auto& worker : workers) {
      while (worker->wait(250) == kWaitTimeout) {
        if (!quiet && Clock::now() - lastReport >= std::chrono::seconds(1)) {
          lastReport = Clock::now();
          report(progress, "hashing", start, total);
        }
      }
    }
    if (failed) throw IOException(failure);
    if (!quiet) report(progress, "hashed", start, total);
  }

 private:
  class Worker : public Thread {
   public:
    explicit Worker(Hashing& hashing) : hashing(hashing) {}
    ~Worker() override { wait(kInfinite); }
    uint32_t run() override {
      std::unique_ptr<char[]> buffer(new char[kChunk]);
      for (;;) {
        std::size_t at = hashing.nextFile++;
        if (at >= hashing.files.size() || hashing.failed) return 0;
        try {
          hashing.publishFile(hashing.files[at], buffer.get());
        } catch (const std::exception& e) {
          hashing.fail(hashing.files[at].name + ": " + e.what());
        } catch (const std::string& text) {
          hashing.fail(text);
        }
      }
    }

   private:
    Hashing& hashing;
  };

  // The previous release's copy of the file, when it had one of this size.
  fs::path previousCopy(const ReleaseFile& file) const {
    if (previous.list == nullptr || previous.folder.empty()) return fs::path();
    const Module* before = previous.list->find(file.name);
    std::error_code error;
    fs::path copy = previous.folder / pathOf(file.name);
    if (before == nullptr || before->contentLength < 0 || static_cast<uint64_t>(before->contentLength) != file.size ||
        fs::file_size(copy, error) != file.size || error)
      return fs::path();
    return copy;
  }

  void publishFile(ReleaseFile& file, char* buffer) {
    fs::path copy = copies / pathOf(file.name);
    fs::path linkable = previousCopy(file);
    // Read (and copy unless it may be linked), taking both digests.
    readFile(file, buffer, linkable.empty() ? &copy : nullptr, true);
    if (!linkable.empty()) {
      std::error_code error;
      if (!sameContent(*previous.list->find(file.name), file) || (fs::create_hard_link(linkable, copy, error), error)) {
        // Copied after all; the copy must be the bytes that were hashed.
        std::string md5sum = file.md5sum;
        readFile(file, buffer, &copy, false);
        if (file.md5sum != md5sum) throw IOException(file.name + ": changed while it was published");
      }
    }
    ++filesDone;
  }

  // Reads the release file, copying it when given where; digests into the record
  // (the SHA-256 too when asked for). Counts the bytes on the first reading only.
  void readFile(ReleaseFile& file, char* buffer, const fs::path* copy, bool first) {
    std::ifstream in(release / pathOf(file.name), std::ios::binary);
    if (!in) throw IOException(file.name + ": cannot read it");
    std::ofstream out;
    if (copy != nullptr) {
      out.open(*copy, std::ios::binary | std::ios::trunc);
      if (!out) throw IOException(textOf(*copy) + ": cannot write it");
    }
    Digest md5(DigestAlgorithm::Md5);
    std::unique_ptr<Digest> sha256(first ? new Digest(DigestAlgorithm::Sha256) : nullptr);
    uint64_t size = 0;
    while (!failed) {
      std::streamsize got = in.rdbuf()->sgetn(buffer, static_cast<std::streamsize>(kChunk));
      if (got <= 0) break;
      md5.update(buffer, static_cast<std::size_t>(got));
      if (sha256) sha256->update(buffer, static_cast<std::size_t>(got));
      if (copy != nullptr) out.write(buffer, got);
      size += static_cast<uint64_t>(got);
      if (first) bytesDone += static_cast<uint64_t>(got);
    }
    if (copy != nullptr) {
      out.close();
      if (!out) throw IOException(textOf(*copy) + ": cannot write it");
    }
    // What was read is what was hashed and copied: a file that grew or shrank
    // since the scan is refused rather than published half old, half new.
    if (size != file.size) throw IOException(file.name + ": changed while it was published");
    file.md5sum = md5.hexDigest();
    if (sha256) file.sha256 = sha256->hexDigest();
  }

  void fail(const std::string& text) {
    bool expected = false;
    if (failed.compare_exchange_strong(expected, true)) failure = text;
  }

  void report(std::ostream& progress, const char* verb, Clock::time_point start, uint64_t total) {
    double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    double mib = static_cast<double>(bytesDone) / (1 << 20);
    char line[160];
    std::snprintf(line, sizeof line, "%s %zu of %zu files, %.1f of %.1f MiB, %.0f MiB/s\n", verb,
                  static_cast<std::size_t>(filesDone), files.size(), mib, static_cast<double>(total) / (1 << 20),
                  seconds > 0 ? mib / seconds : 0.0);
    progress << line << std::flush;
  }

  std::vector<ReleaseFile>& files;
  const fs::path release;
  const fs::path copies;
  const PreviousCopies previous;
  std::atomic<std::size_t> nextFile;
  std::atomic<std::size_t> filesDone;
  std::atomic<uint64_t> bytesDone;
  std::atomic<bool> failed;
  std::string failure;  // written once, by the worker that set failed
};

// The output being built; removed again unless it was put in place.
class FreshFolder {
 public:
  explicit FreshFolder(const fs::path& target) : path(fs::path(target) += ".new") {
    std::error_code error;
    fs::remove_all(path, error);  // left by a publish that was cut off
    if (!fs::create_directories(path / "files", error) || error)
      throw IOException(textOf(path) + ": cannot create it: " + error.message());
  }
  ~FreshFolder() {
    std::error_code error;
    if (!placed) fs::remove_all(path, error);
  }
  const fs::path path;
  bool placed = false;
};

}  // namespace

void PublishRules::readFile(const std::string& path) {
  std::ifstream in(pathOf(path));
  if (!in) throw IOException(path + ": cannot read the rules");
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::size_t blank = line.find(' ');
    std::string word = line.substr(0, blank);
    std::string pattern = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    Kind kind = word == "critical" ? Critical : word == "non-critical" ? NonCritical : ReadOnly;
    if (word != "critical" && word != "non-critical" && word != "read-only")
      throw IOException(path + ":" + std::to_string(number) + ": unknown rule \"" + word +
                        "\" (critical, non-critical or read-only)");
    if (pattern.empty()) throw IOException(path + ":" + std::to_string(number) + ": the rule names no pattern");
    add(kind, pattern);
  }
}

bool PublishRules::critical(const std::string& name) const {
  bool critical = true;
  for (const auto& rule : rules)
    if (rule.first != ReadOnly && globMatches(rule.second, name)) critical = rule.first == Critical;
  return critical;
}

bool PublishRules::readOnly(const std::string& name) const {
  for (const auto& rule : rules)
    if (rule.first == ReadOnly && globMatches(rule.second, name)) return true;
  return false;
}

bool globMatches(const std::string& pattern, const std::string& name) {
  return globAt(pattern.c_str(), name.c_str());
}

std::string urlPath(const std::string& name) {
  static const char* const kHex = "0123456789ABCDEF";
  std::string path;
  for (char c : name) {
    unsigned char byte = static_cast<unsigned char>(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
        c == '_' || c == '~' || c == '/') {
      path += c;
    } else {
      path += '%';
      path += kHex[byte >> 4];
      path += kHex[byte & 15];
    }
  }
  return path;
}

std::string nextVersion(const ModuleVersion& previous) {
  const std::string candidates[] = {
      std::to_string(previous.major) + "." + std::to_string(static_cast<int64_t>(previous.minor) + 1),
      std::to_string(static_cast<int64_t>(previous.major) + 1) + ".0"};
  for (const std::string& candidate : candidates)
    if (previous.isOlderThan(ModuleVersion(candidate))) return candidate;
  throw IOException("no version ranks newer than \"" + previous.text + "\"");
}

PublishSummary publishRelease(const PublishOptions& options, std::ostream& progress) {
  std::string base = options.baseUrl;
  while (!base.empty() && base.back() == '/') base.pop_back();
  if (base.find("://") == std::string::npos)
    throw IOException("the base URL \"" + options.baseUrl + "\" is not a URL (http://... or https://...)");
  fs::path release = fs::absolute(pathOf(options.releaseFolder)).lexically_normal();
  fs::path output = fs::absolute(pathOf(options.outputFolder)).lexically_normal();
  if (!output.has_filename()) output = output.parent_path();
  if (!fs::is_directory(release)) throw IOException(options.releaseFolder + ": not a folder");
  if (nested(output, release) || nested(release, output))
    throw IOException("the output folder and the release folder must lie apart");

  // Read first: a key that cannot sign stops the publish before any work.
  const ecdsa::KeyPair signingKey = options.signingKey.empty() ? ecdsa::KeyPair() : readKeyFile(options.signingKey);
  std::vector<ReleaseFile> files = scanRelease(release);
  checkNames(files);

  ModuleList previous;
  fs::path previousPath = options.previousList.empty() ? output / "modules.xml" : pathOf(options.previousList);
  if (!options.previousList.empty() || fs::exists(previousPath)) {
    try {
      previous.readFile(textOf(previousPath));
    } catch (const XmlException& e) {
      throw IOException(textOf(previousPath) + ": " + e);
    }
  }

  checkNamesWithThePlan(files, previous);

  FreshFolder fresh(output);
  std::set<std::string> folders;
  for (const ReleaseFile& file : files) {
    std::string folder = pathOf(file.name).parent_path().generic_u8string();
    if (!folder.empty() && folders.insert(folder).second) fs::create_directories(fresh.path / "files" / pathOf(folder));
  }
  PreviousCopies copies = {&previous, fs::path()};
  if (!options.previousList.empty() || fs::exists(previousPath)) copies.folder = previousPath.parent_path() / "files";
  Hashing(files, release, fresh.path / "files", copies).runAll(progress, options.quiet);

  PublishSummary summary;
  ModuleList list;
  std::set<std::string> expected;  // what a player of the previous release must fetch
  for (const ReleaseFile& file : files) {
    const Module* before = previous.find(file.name);
    std::string version = "1.0";
    if (before != nullptr && sameContent(*before, file)) {
      version = before->version.text;
      ++summary.unchanged;
    } else {
      if (before != nullptr) {
        try {
          version = nextVersion(before->version);
        } catch (const IOException& e) {
          throw IOException(file.name + ": " + e);
        }
      }
      ++(before != nullptr ? summary.changed : summary.added);
      expected.insert(file.name);
    }
    std::string length = std::to_string(file.size);
    list.add(std::make_unique<Module>(file.name.c_str(), version.c_str(),
                                      (base + "/files/" + urlPath(file.name)).c_str(), file.md5sum.c_str(),
                                      options.rules.critical(file.name) ? "true" : "false",
                                      options.rules.readOnly(file.name) ? "true" : "false", length.c_str()))
        ->sha256 = file.sha256;
    summary.bytes += file.size;
  }
  // Names first, then the look-ups: holding one list's lock while taking the
  // other's would order the two locks against the plan's order.
  std::vector<std::string> previousNames;
  previous.forEach([&](Module& module) { previousNames.push_back(module.name); });
  for (const std::string& name : previousNames) {
    if (list.find(name) == nullptr) summary.gone.push_back(name);
  }

  // The updater's own plan, run as on a machine with the previous release, must
  // take exactly the changed and new files; otherwise no client would.
  ModuleList queue;
  planDownloadQueue(queue, previous, list, reservedNames());
  std::set<std::string> queued;
  queue.forEach([&queued](Module& module) { queued.insert(module.name); });
  if (queued != expected) {
    std::vector<std::string> differing;
    std::set_symmetric_difference(queued.begin(), queued.end(), expected.begin(), expected.end(),
                                  std::back_inserter(differing));
    refuse("the updater would not take this release as published (planned differently)", differing);
  }

  list.writeFile(textOf(fresh.path / "modules.xml"), ModuleList::Published);
  if (!signingKey.scalar.empty()) signListFile(textOf(fresh.path / "modules.xml"), signingKey);
  list.writeFile(textOf(fresh.path / "installed.xml"));
  replaceFolder(textOf(fresh.path), textOf(output));
  fresh.placed = true;
  return summary;
}

void writeMaintenanceAnswer(const std::string& path, const std::string& status, const std::string& message) {
  XmlDoc doc(xmlNewDoc(BAD_CAST "1.0"));
  xmlNodePtr root = xmlNewNode(nullptr, BAD_CAST "parameters");
  xmlDocSetRootElement(doc.get(), root);
  const std::pair<const char*, std::string> parameters[] = {
      {"successful", "true"}, {"status", status}, {"message", message}};
  for (const auto& parameter : parameters) {
    xmlNodePtr element = xmlNewTextChild(root, nullptr, BAD_CAST "parameter", nullptr);
    xmlNodeAddContent(element, BAD_CAST parameter.second.c_str());
    xmlNewProp(element, BAD_CAST "name", BAD_CAST parameter.first);
  }
  std::string fresh = path + ".new";
  int written;
  {
    XmlQuietErrors quiet;
    written = xmlSaveFormatFile(fresh.c_str(), doc.get(), 1);
  }
  std::error_code error;
  if (written != -1) fs::rename(pathOf(fresh), pathOf(path), error);
  if (written == -1 || error) {
    fs::remove(pathOf(fresh), error);
    throw IOException(path + ": cannot write it");
  }
}
