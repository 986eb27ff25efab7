#include "support/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {
std::string digestOf(const std::string& bytes, std::size_t piece) {
  Md5 md5;
  for (std::size_t at = 0; at < bytes.size(); at += piece) {
    md5.update(bytes.data() + at, std::min(piece, bytes.size() - at));
  }
  return md5.hexDigest();
}
}  // namespace

TEST(Md5, KnownDigestsWholeAndInPieces) {
  const std::string digits =
      "12345678901234567890123456789012345678901234567890123456789012345678901234567890";
  EXPECT_EQ(digestOf("", 1), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(digestOf("abc", 3), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(digestOf("The quick brown fox jumps over the lazy dog", 5), "9e107d9d372bb6826bd81d3542a419d6");
  for (std::size_t piece : {1u, 7u, 64u, 80u}) {
    EXPECT_EQ(digestOf(digits, piece), "57edf4a22be3c955ac49da2e2107b67a") << piece;
  }
}

TEST(Md5, BinaryBytesAcrossManyBlocks) {
  std::string bytes;
  for (int i = 0; i < 20000; ++i) bytes += static_cast<char>(i * 7 % 256);
  EXPECT_EQ(digestOf(bytes, 8192), digestOf(bytes, 1000));
  EXPECT_EQ(digestOf(bytes, 8192).size(), 32u);
  EXPECT_NE(digestOf(bytes, 8192), digestOf(bytes.substr(1), 8192));
}

TEST(Md5, RecognisesDigestTexts) {
  EXPECT_TRUE(isMd5Text("d41d8cd98f00b204e9800998ecf8427e"));
  EXPECT_TRUE(isMd5Text("D41D8CD98F00B204E9800998ECF8427E"));
  EXPECT_FALSE(isMd5Text("d41d8cd98f00b204e9800998ecf8427"));    // 31 digits
  EXPECT_FALSE(isMd5Text("d41d8cd98f00b204e9800998ecf8427e0"));  // 33 digits
  EXPECT_FALSE(isMd5Text("g41d8cd98f00b204e9800998ecf8427e"));
  EXPECT_FALSE(isMd5Text(" d41d8cd98f00b204e9800998ecf842e"));
  EXPECT_FALSE(isMd5Text(""));
  EXPECT_EQ(lowerCaseAscii("AbC-09Z"), "abc-09z");
}
