// libcrypto's EVP interface, with keys built from their raw parts.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>

#include "support/Ecdsa.h"
#include "support/Exceptions.h"
#include "support/Signature.h"

namespace {

struct Free {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
  void operator()(OSSL_PARAM_BLD* builder) const { OSSL_PARAM_BLD_free(builder); }
  void operator()(OSSL_PARAM* params) const { OSSL_PARAM_free(params); }
  void operator()(BIGNUM* number) const { BN_clear_free(number); }
};
template <typename T>
using Owned = std::unique_ptr<T, Free>;

const char kCurve[] = "prime256v1";

// A key from its point and, for a private key, its scalar; null when libcrypto refuses them.
Owned<EVP_PKEY> keyFrom(const std::string& point, const std::string* scalar) {
  if (point.size() != ecdsa::kPointSize) return nullptr;
  Owned<OSSL_PARAM_BLD> builder(OSSL_PARAM_BLD_new());
  Owned<BIGNUM> secret;
  if (!builder || !OSSL_PARAM_BLD_push_utf8_string(builder.get(), OSSL_PKEY_PARAM_GROUP_NAME, kCurve, 0) ||
      !OSSL_PARAM_BLD_push_octet_string(builder.get(), OSSL_PKEY_PARAM_PUB_KEY, point.data(), point.size()))
    return nullptr;
  if (scalar != nullptr) {
    secret.reset(BN_bin2bn(reinterpret_cast<const unsigned char*>(scalar->data()), static_cast<int>(scalar->size()),
                           nullptr));
    if (!secret || !OSSL_PARAM_BLD_push_BN(builder.get(), OSSL_PKEY_PARAM_PRIV_KEY, secret.get())) return nullptr;
  }
  Owned<OSSL_PARAM> params(OSSL_PARAM_BLD_to_param(builder.get()));
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
  EVP_PKEY* key = nullptr;
  if (!params || !context || EVP_PKEY_fromdata_init(context.get()) <= 0 ||
      EVP_PKEY_fromdata(context.get(), &key, scalar != nullptr ? EVP_PKEY_KEYPAIR : EVP_PKEY_PUBLIC_KEY,
                        params.get()) <= 0)
    return nullptr;
  return Owned<EVP_PKEY>(key);
}

const unsigned char* bytesOf(const std::string& text) { return reinterpret_cast<const unsigned char*>(text.data()); }

}  // namespace

namespace ecdsa {

KeyPair generateKeyPair() {
  Owned<EVP_PKEY> key(EVP_PKEY_Q_keygen(nullptr, nullptr, "EC", "P-256"));
  if (!key) throw IOException("keygen: libcrypto cannot make a P-256 key");
  BIGNUM* secret = nullptr;
  unsigned char point[kPointSize];
  std::size_t pointLength = 0;
  if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_PRIV_KEY, &secret) != 1)
    throw IOException("keygen: libcrypto gives no private key");
  Owned<BIGNUM> ownedSecret(secret);
  unsigned char scalar[kScalarSize];
  if (BN_bn2binpad(secret, scalar, sizeof scalar) != static_cast<int>(sizeof scalar) ||
      EVP_PKEY_get_octet_string_param(key.get(), OSSL_PKEY_PARAM_PUB_KEY, point, sizeof point, &pointLength) != 1 ||
      pointLength != kPointSize)
    throw IOException("keygen: libcrypto gives no P-256 key pair");
  KeyPair pair{std::string(reinterpret_cast<char*>(scalar), sizeof scalar),
               std::string(reinterpret_cast<char*>(point), sizeof point)};
  OPENSSL_cleanse(scalar, sizeof scalar);
  return pair;
}

std::string signDigest(const KeyPair& pair, const std::string& digest) {
  Owned<EVP_PKEY> key = pair.scalar.size() == kScalarSize ? keyFrom(pair.point, &pair.scalar) : nullptr;
  if (!key) throw IOException("sign: not a P-256 key pair");
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key.get(), nullptr));
  unsigned char der[80];
  std::size_t length = sizeof der;
  if (!context || EVP_PKEY_sign_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) <= 0 ||
      EVP_PKEY_sign(context.get(), der, &length, bytesOf(digest), digest.size()) <= 0)
    throw IOException("sign: libcrypto cannot sign");
  std::string signature = rawSignatureOf(std::string(reinterpret_cast<char*>(der), length));
  if (signature.empty()) throw IOException("sign: libcrypto gives no ECDSA signature");
  return signature;
}

bool verifyDigest(const std::string& point, const std::string& digest, const std::string& signature) {
  if (digest.size() != kDigestSize || signature.size() != kSignatureSize) return false;
  Owned<EVP_PKEY> key = keyFrom(point, nullptr);
  if (!key) return false;
  Owned<EVP_PKEY_CTX> context(EVP_PKEY_CTX_new(key.get(), nullptr));
  const std::string der = derSignatureOf(signature);
  return context && EVP_PKEY_verify_init(context.get()) > 0 &&
         EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha256()) > 0 &&
         EVP_PKEY_verify(context.get(), bytesOf(der), der.size(), bytesOf(digest), digest.size()) == 1;
}

bool acceptsPoint(const std::string& point) { return keyFrom(point, nullptr) != nullptr; }

}  // namespace ecdsa
