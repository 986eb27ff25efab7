#pragma once
// updater-publish: from a release folder (the client's files as they are
// installed) to an output folder any static web server or CDN can serve:
//   modules.xml    the module list the updater reads (its updateServer URL)
//   files/NAME     each module's file, at its "url"
//   installed.xml  the installed-modules file of a fresh installation of this release
// Portable; the entry file only hands over the arguments.
#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "catalogue/Module.h"

// Which modules are critical (fetched before the client starts) and which are
// installed read-only, by glob patterns over module names: "*" and "?" stay
// within one folder, "**" crosses folders ("**/" also matches no folder at all).
class PublishRules {
 public:
  enum Kind { Critical, NonCritical, ReadOnly };

  void add(Kind kind, const std::string& pattern) { rules.emplace_back(kind, pattern); }
  // Lines "critical PATTERN", "non-critical PATTERN" or "read-only PATTERN";
  // blank lines and lines starting with "#" are skipped. Throws IOException
  // "PATH: cannot read the rules" or "PATH:LINE: ..." naming the fault.
  void readFile(const std::string& path);

  // The last matching critical or non-critical rule decides; critical without
  // one, as the updater takes a module without the attribute.
  bool critical(const std::string& name) const;
  bool readOnly(const std::string& name) const;

 private:
  std::vector<std::pair<Kind, std::string>> rules;
};

bool globMatches(const std::string& pattern, const std::string& name);
// The name as a URL path: each byte outside A-Z a-z 0-9 - . _ ~ / as %XX.
std::string urlPath(const std::string& name);
// The version a changed module gets: "major.minor" with the minor bumped, or
// "major+1.0" when that text would not rank newer by the updater's rule. Throws
// IOException when neither does.
std::string nextVersion(const ModuleVersion& previous);

struct PublishOptions {
  std::string releaseFolder;
  std::string outputFolder;
  // Where the output folder is served; the modules' urls start with it.
  std::string baseUrl;
  // The previous release's module list; empty: the output folder's modules.xml
  // when there is one (a first release otherwise).
  std::string previousList;
  PublishRules rules;
  bool quiet = false;
  // A private key file: modules.xml is then signed, its signature written
  // beside it as modules.xml.sig in the same placing of the folder.
  std::string signingKey;
};

struct PublishSummary {
  std::size_t added = 0;
  std::size_t changed = 0;
  std::size_t unchanged = 0;
  uint64_t bytes = 0;
  // Names of the previous list the release no longer holds: players keep them.
  std::vector<std::string> gone;
};

// Publishes the release, every module with its MD5 and SHA-256; a file is
// unchanged when both match the previous list's (its SHA-256 where it has one).
// Progress (files hashed, bytes, rate) goes to progress
// unless quiet. The output is built beside the output folder and then put in its
// place, so a failure leaves the previous output as it was. Throws IOException
// with a text naming the fault; a refused release (names the updater would
// refuse, case-insensitive twins, a file too large) writes nothing at all.
PublishSummary publishRelease(const PublishOptions& options, std::ostream& progress);

// The maintenance manager's answer: "successful" true, the status ("Up", "Down"
// or another text) and the message for the players, written through a
// neighbour so readers never see half a file. Throws IOException.
void writeMaintenanceAnswer(const std::string& path, const std::string& status, const std::string& message);

// Platform part: puts the fresh folder in the target's place (the target may
// not exist). On Linux in one atomic exchange; elsewhere by two renames, with
// the old folder restored when the second fails. Throws IOException.
void replaceFolder(const std::string& fresh, const std::string& target);
