#include <windows.h>
#include <bcrypt.h>

#include "support/Digest.h"
#include "support/Exceptions.h"
#include "support/stringify.h"

namespace {
bool succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

struct WinDigest {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  const char* name;
  ULONG length;
  WinDigest(const char* name, ULONG length) : name(name), length(length) {}
  ~WinDigest() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  WinDigest(const WinDigest&) = delete;
  WinDigest& operator=(const WinDigest&) = delete;
  IOException failure(NTSTATUS status) const {
    return IOException(std::string(name) + ": BCrypt error " + stringify(static_cast<unsigned long>(status)));
  }
};

Digest::Digest(DigestAlgorithm algorithm)
    : state(new WinDigest(digestName(algorithm), algorithm == DigestAlgorithm::Md5 ? 16 : 32)) {
  LPCWSTR id = algorithm == DigestAlgorithm::Md5 ? BCRYPT_MD5_ALGORITHM : BCRYPT_SHA256_ALGORITHM;
  NTSTATUS status = BCryptOpenAlgorithmProvider(&state->algorithm, id, nullptr, 0);
  // With no object buffer given, the provider allocates the hash object itself.
  if (succeeded(status)) status = BCryptCreateHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0);
  if (!succeeded(status)) {
    IOException failure = state->failure(status);
    delete state;
    throw failure;
  }
}

Digest::~Digest() { delete state; }

void Digest::update(const void* bytes, std::size_t length) {
  // BCryptHashData takes at most a 32-bit count per call.
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  while (length > 0) {
    ULONG piece = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
    BCryptHashData(state->hash, const_cast<PUCHAR>(next), piece, 0);
    next += piece;
    length -= piece;
  }
}

std::string Digest::finish() {
  unsigned char digest[32];
  NTSTATUS status = BCryptFinishHash(state->hash, digest, state->length, 0);
  if (!succeeded(status)) throw state->failure(status);
  return std::string(reinterpret_cast<const char*>(digest), state->length);
}
