#pragma once
#include <cstddef>
#include <string>

#ifdef _WIN32
struct WinDigest;
typedef WinDigest* DigestState;
#else
struct PosixDigest;
typedef PosixDigest* DigestState;
#endif

enum class DigestAlgorithm { Md5, Sha256 };

// A digest through the platform's crypto, fed piece by piece, so a download is
// checked while it arrives.
class Digest {
 public:
  // Throws IOException when the platform's hash provider is unavailable.
  explicit Digest(DigestAlgorithm algorithm);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  void update(const void* bytes, std::size_t length);
  // The digest of everything fed so far (16 bytes for MD5, 32 for SHA-256).
  // Ends the digest: feed nothing after it. Throws IOException.
  std::string finish();
  // The same as lower-case hexadecimal digits.
  std::string hexDigest();

  // The digest of bytes held whole, as raw bytes.
  static std::string of(DigestAlgorithm algorithm, const std::string& bytes);

 private:
  DigestState state;
};

// "md5" or "sha256": the name in failure texts and module attributes.
const char* digestName(DigestAlgorithm algorithm);
// Bytes as lower-case hexadecimal digits: the one formatter for digests and keys.
std::string hexText(const std::string& bytes);
// Whether a text is exactly `digits` hexadecimal digits, either case.
bool isHexText(const std::string& text, std::size_t digits);
// The text with every upper-case ASCII letter lowered.
std::string lowerCaseAscii(const std::string& text);
