#include "support/Digest.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {
std::string digestOf(DigestAlgorithm algorithm, const std::string& bytes, std::size_t piece) {
  Digest digest(algorithm);
  for (std::size_t at = 0; at < bytes.size(); at += piece)
    digest.update(bytes.data() + at, std::min(piece, bytes.size() - at));
  return digest.hexDigest();
}
}  // namespace

TEST(Digest, KnownDigestsWholeAndInPieces) {
  const std::string digits = "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
  struct Case { DigestAlgorithm algorithm; std::string bytes; const char* hex; } cases[] = {
      {DigestAlgorithm::Md5, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {DigestAlgorithm::Md5, "abc", "900150983cd24fb0d6963f7d28e17f72"},
      {DigestAlgorithm::Md5, digits, "57edf4a22be3c955ac49da2e2107b67a"},
      {DigestAlgorithm::Sha256, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {DigestAlgorithm::Sha256, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {DigestAlgorithm::Sha256, digits, "f371bc4a311f2b009eef952dd83ca80e2b60026c8e935592d0f9c308453c813e"},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {1u, 7u, 64u, 80u})
      EXPECT_EQ(digestOf(c.algorithm, c.bytes, piece), c.hex) << digestName(c.algorithm) << " " << piece;
    EXPECT_EQ(hexText(Digest::of(c.algorithm, c.bytes)), c.hex);
  }
}
