#include "catalogue/ModuleDigest.h"

#include "support/Exceptions.h"

namespace {
constexpr std::size_t kSha256Digits = 64;
constexpr std::size_t kMd5Digits = 32;
}  // namespace

ModuleDigest::ModuleDigest(const Module& module) : module(module), attribute(nullptr), expected(), digest() {
  if (!module.sha256.empty()) {
    if (!isHexText(module.sha256, kSha256Digits))
      throw IOException(module.name + ": malformed sha256 (" + module.sha256 + ")");
    attribute = "sha256";
    expected = module.sha256;
    digest.reset(new Digest(DigestAlgorithm::Sha256));
  } else if (isHexText(module.md5sum, kMd5Digits)) {
    attribute = "md5sum";
    expected = module.md5sum;
    digest.reset(new Digest(DigestAlgorithm::Md5));
  }
}

void ModuleDigest::update(const void* bytes, std::size_t length) {
  if (digest) digest->update(bytes, length);
}

std::string ModuleDigest::mismatch() {
  if (!digest) return "";
  std::string actual = digest->hexDigest();
  if (actual == lowerCaseAscii(expected)) return "";
  return module.name + ": " + attribute + " mismatch (expected " + expected + ", got " + actual + ")";
}

void ModuleDigest::verify() {
  std::string failure = mismatch();
  if (!failure.empty()) throw IOException(failure);
}
