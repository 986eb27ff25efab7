#include <windows.h>
#include <bcrypt.h>

#include <cstdio>

#include "support/Exceptions.h"
#include "support/Md5.h"
#include "support/stringify.h"

namespace {
bool succeeded(NTSTATUS status) { return status >= 0; }
}  // namespace

struct WinMd5 {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  WinMd5() = default;
  ~WinMd5() {
    if (hash != nullptr) BCryptDestroyHash(hash);
    if (algorithm != nullptr) BCryptCloseAlgorithmProvider(algorithm, 0);
  }
  WinMd5(const WinMd5&) = delete;
  WinMd5& operator=(const WinMd5&) = delete;
};

Md5::Md5() : state(new WinMd5()) {
  NTSTATUS status = BCryptOpenAlgorithmProvider(&state->algorithm, BCRYPT_MD5_ALGORITHM, nullptr, 0);
  // With no object buffer given, the provider allocates the hash object itself.
  if (succeeded(status)) status = BCryptCreateHash(state->algorithm, &state->hash, nullptr, 0, nullptr, 0, 0);
  if (!succeeded(status)) {
    delete state;
    throw IOException("md5: BCrypt error " + stringify(static_cast<unsigned long>(status)));
  }
}

Md5::~Md5() { delete state; }

void Md5::update(const void* bytes, std::size_t length) {
  // BCryptHashData takes at most a 32-bit count per call.
  const unsigned char* next = static_cast<const unsigned char*>(bytes);
  while (length > 0) {
    ULONG piece = length > 0x40000000u ? 0x40000000u : static_cast<ULONG>(length);
    BCryptHashData(state->hash, const_cast<PUCHAR>(next), piece, 0);
    next += piece;
    length -= piece;
  }
}

std::string Md5::hexDigest() {
  unsigned char digest[16];
  NTSTATUS status = BCryptFinishHash(state->hash, digest, sizeof digest, 0);
  if (!succeeded(status)) throw IOException("md5: BCrypt error " + stringify(static_cast<unsigned long>(status)));
  std::string text;
  char pair[3];
  for (unsigned char byte : digest) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    text += pair;
  }
  return text;
}
