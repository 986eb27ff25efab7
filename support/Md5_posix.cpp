#include <openssl/evp.h>

#include <cstdio>

#include "support/Exceptions.h"
#include "support/Md5.h"

struct PosixMd5 {
  EVP_MD_CTX* context;
  PosixMd5() : context(EVP_MD_CTX_new()) {}
  ~PosixMd5() { EVP_MD_CTX_free(context); }
  PosixMd5(const PosixMd5&) = delete;
  PosixMd5& operator=(const PosixMd5&) = delete;
};

Md5::Md5() : state(new PosixMd5()) {
  if (state->context == nullptr || EVP_DigestInit_ex(state->context, EVP_md5(), nullptr) != 1) {
    delete state;
    throw IOException("md5: digest unavailable");
  }
}

Md5::~Md5() { delete state; }

void Md5::update(const void* bytes, std::size_t length) {
  if (length > 0) EVP_DigestUpdate(state->context, bytes, length);
}

std::string Md5::hexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(state->context, digest, &length) != 1) throw IOException("md5: digest failed");
  std::string text;
  char pair[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    text += pair;
  }
  return text;
}
