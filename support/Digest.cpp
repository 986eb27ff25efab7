#include "support/Digest.h"

std::string Digest::hexDigest() { return hexText(finish()); }

std::string Digest::of(DigestAlgorithm algorithm, const std::string& bytes) {
  Digest digest(algorithm);
  digest.update(bytes.data(), bytes.size());
  return digest.finish();
}

const char* digestName(DigestAlgorithm algorithm) { return algorithm == DigestAlgorithm::Md5 ? "md5" : "sha256"; }

std::string hexText(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (unsigned char byte : bytes) {
    text += digits[byte >> 4];
    text += digits[byte & 0x0f];
  }
  return text;
}

bool isHexText(const std::string& text, std::size_t digits) {
  if (text.size() != digits) return false;
  for (char c : text) {
    bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) return false;
  }
  return true;
}

std::string lowerCaseAscii(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}
