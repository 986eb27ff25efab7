#pragma once
#include <atomic>
#include <cstdint>
#include <string>

// A module's progress through the current run.
enum ModuleState : int32_t {
  Pending = 0,
  Fetching = 1,
  Fetched = 2,  // downloaded and checked, waiting for its installation (parallel walks only);
                // states from here on mean the file has been fetched
  Installing = 3,
  Complete = 4,
};

// A version text with the two numbers it is ordered by.
class ModuleVersion {
 public:
  explicit ModuleVersion(const std::string& text);
  bool isOlderThan(const ModuleVersion& other) const {
    return major < other.major || (major == other.major && minor < other.minor);
  }
  bool operator<(const ModuleVersion& other) const { return isOlderThan(other); }

  std::string text;
  int32_t major;
  int32_t minor;
};

// One file of the installation. Built from the attribute texts of a "module"
// element; an absent attribute is passed as nullptr.
class Module {
 public:
  Module(const char* name, const char* version, const char* url, const char* md5sum,
         const char* critical, const char* forceReadOnly, const char* contentLength);
  Module(const Module& other);
  Module& operator=(const Module&) = delete;

  std::string name;
  ModuleVersion version;
  std::string url;
  std::string md5sum;
  // SHA-256 of the file as 64 hexadecimal digits, or empty; not a constructor
  // argument: the list reader sets it.
  std::string sha256;
  bool critical;
  bool forceReadOnly;
  // The file's length in bytes (64 bits: files over 4 GiB), -1 when not given.
  int64_t contentLength;
  // Written by the update thread (or a parallel walk's worker) while other threads read it;
  // for a record in a list, through ModuleList::setState, which keeps the list's counts.
  std::atomic<ModuleState> state;
};
