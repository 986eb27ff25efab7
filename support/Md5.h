#pragma once
#include <cstddef>
#include <string>

#ifdef _WIN32
struct WinMd5;
typedef WinMd5* Md5State;
#else
struct PosixMd5;
typedef PosixMd5* Md5State;
#endif

// An MD5 digest fed piece by piece, so a download is checked while it arrives.
class Md5 {
 public:
  // Throws IOException when the platform's hash provider is unavailable.
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  void update(const void* bytes, std::size_t length);
  // The digest of everything fed so far as 32 lower-case hexadecimal digits.
  // Ends the digest: feed nothing after it.
  std::string hexDigest();

 private:
  Md5State state;
};

// Whether a text is an MD5 digest: exactly 32 hexadecimal digits, either case.
bool isMd5Text(const std::string& text);
// The text with every upper-case ASCII letter lowered.
std::string lowerCaseAscii(const std::string& text);
