#include <openssl/evp.h>

#include "support/Digest.h"
#include "support/Exceptions.h"

struct PosixDigest {
  EVP_MD_CTX* context;
  const char* name;
  PosixDigest(const char* name) : context(EVP_MD_CTX_new()), name(name) {}
  ~PosixDigest() { EVP_MD_CTX_free(context); }
  PosixDigest(const PosixDigest&) = delete;
  PosixDigest& operator=(const PosixDigest&) = delete;
};

namespace {
// Fetched once for the process, not looked up among the providers at every
// start: a first install starts two digests per module.
const EVP_MD* digestType(DigestAlgorithm algorithm) {
  static const EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  static const EVP_MD* const sha256 = EVP_MD_fetch(nullptr, "SHA2-256", nullptr);
  return algorithm == DigestAlgorithm::Md5 ? md5 : sha256;
}
}  // namespace

Digest::Digest(DigestAlgorithm algorithm) : state(new PosixDigest(digestName(algorithm))) {
  const EVP_MD* type = digestType(algorithm);
  if (state->context == nullptr || EVP_DigestInit_ex(state->context, type, nullptr) != 1) {
    std::string name = state->name;
    delete state;
    throw IOException(name + ": digest unavailable");
  }
}

Digest::~Digest() { delete state; }

void Digest::update(const void* bytes, std::size_t length) {
  if (length > 0) EVP_DigestUpdate(state->context, bytes, length);
}

std::string Digest::finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state->context, digest, &length) != 1) {
    throw IOException(std::string(state->name) + ": digest failed");
  }
  return std::string(reinterpret_cast<const char*>(digest), length);
}
