#pragma once
// ECDSA on the curve P-256 with SHA-256, done by the platform's crypto
// (libcrypto on Linux, BCrypt on Windows): no cryptography of our own. Values
// cross this boundary in their raw, big-endian forms: a public point as 65
// bytes 0x04 || X || Y, a private scalar as 32 bytes, a signature as 64 bytes
// r || s. Signature.h holds their text and file forms.
#include <cstddef>
#include <string>

namespace ecdsa {

constexpr std::size_t kPointSize = 65;
constexpr std::size_t kScalarSize = 32;
constexpr std::size_t kSignatureSize = 64;
constexpr std::size_t kDigestSize = 32;

struct KeyPair {
  std::string scalar;
  std::string point;
};

// A fresh key pair from the platform's generator. Throws IOException.
KeyPair generateKeyPair();
// The signature of a SHA-256 digest. Throws IOException, also for a pair the
// platform refuses.
std::string signDigest(const KeyPair& key, const std::string& digest);
// Whether the signature is the point's key's over the digest. False too for a
// point or signature of the wrong size or that the platform refuses.
bool verifyDigest(const std::string& point, const std::string& digest, const std::string& signature);
// Whether the platform takes the point as a P-256 public key. Linux checks that
// it lies on the curve; Wine's BCrypt does not (verifyDigest then fails).
bool acceptsPoint(const std::string& point);

}  // namespace ecdsa
