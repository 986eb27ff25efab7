#pragma once
#include <cstddef>
#include <memory>
#include <string>

#include "catalogue/Module.h"
#include "support/Digest.h"

// The check a module's file must pass: its "sha256" where the record carries
// one, else its "md5sum" where that is an MD5 in digest form (any other md5sum
// text is only ever compared as text), else none. The one place that makes the
// choice, for every path by which a file comes to be taken as the module's.
class ModuleDigest {
 public:
  // Throws IOException "NAME: malformed sha256 (TEXT)" for a "sha256" that is
  // not 64 hexadecimal digits, and as Digest does.
  explicit ModuleDigest(const Module& module);
  ModuleDigest(const ModuleDigest&) = delete;
  ModuleDigest& operator=(const ModuleDigest&) = delete;

  // False: the record names no digest, and every file passes.
  bool checks() const { return digest != nullptr; }
  void update(const void* bytes, std::size_t length);
  // Ends the digest. Empty when the bytes fed are the module's file, otherwise
  // the failure text "NAME: sha256 mismatch (expected X, got Y)" (or "md5sum").
  std::string mismatch();
  // Throws IOException with mismatch()'s text when it is not empty.
  void verify();

 private:
  const Module& module;
  const char* attribute;
  std::string expected;
  std::unique_ptr<Digest> digest;
};
