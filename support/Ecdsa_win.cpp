// BCrypt, with keys imported from BCRYPT_ECCKEY_BLOBs: the blob header, then X,
// Y and for a private key the scalar, each 32 bytes big-endian. BCrypt signs
// and verifies a digest and writes signatures as r || s, the raw forms here.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "support/Ecdsa.h"
#include "support/Exceptions.h"
#include "support/stringify.h"

namespace {

bool succeeded(NTSTATUS status) { return status >= 0; }
// STATUS_INVALID_PARAMETER, for parts of the wrong size that never reach BCrypt.
const NTSTATUS kWrongSize = static_cast<NTSTATUS>(0xC000000DL);

IOException failure(const char* step, NTSTATUS status) {
  return IOException(std::string(step) + ": BCrypt error " + stringify(static_cast<unsigned long>(status)));
}

class Provider {
 public:
  Provider() : handle(nullptr) {
    status = BCryptOpenAlgorithmProvider(&handle, BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0);
  }
  ~Provider() {
    if (handle != nullptr) BCryptCloseAlgorithmProvider(handle, 0);
  }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  BCRYPT_ALG_HANDLE handle;
  NTSTATUS status;
};

class Key {
 public:
  Key() : handle(nullptr) {}
  ~Key() {
    if (handle != nullptr) BCryptDestroyKey(handle);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
  BCRYPT_KEY_HANDLE handle;
};

// The blob of a point (without its 0x04 prefix) and, for a private key, the scalar.
std::vector<UCHAR> blobOf(const std::string& point, const std::string* scalar) {
  BCRYPT_ECCKEY_BLOB header;
  header.dwMagic = scalar != nullptr ? BCRYPT_ECDSA_PRIVATE_P256_MAGIC : BCRYPT_ECDSA_PUBLIC_P256_MAGIC;
  header.cbKey = ecdsa::kScalarSize;
  std::vector<UCHAR> blob(sizeof header);
  std::memcpy(blob.data(), &header, sizeof header);
  blob.insert(blob.end(), point.begin() + 1, point.end());
  if (scalar != nullptr) blob.insert(blob.end(), scalar->begin(), scalar->end());
  return blob;
}

NTSTATUS import(const Provider& provider, const std::string& point, const std::string* scalar, Key& key) {
  if (!succeeded(provider.status)) return provider.status;
  if (point.size() != ecdsa::kPointSize || point[0] != 0x04) return kWrongSize;
  if (scalar != nullptr && scalar->size() != ecdsa::kScalarSize) return kWrongSize;
  std::vector<UCHAR> blob = blobOf(point, scalar);
  NTSTATUS status = BCryptImportKeyPair(provider.handle, nullptr,
                                        scalar != nullptr ? BCRYPT_ECCPRIVATE_BLOB : BCRYPT_ECCPUBLIC_BLOB,
                                        &key.handle, blob.data(), static_cast<ULONG>(blob.size()), 0);
  SecureZeroMemory(blob.data(), blob.size());
  return status;
}

PUCHAR bytesOf(const std::string& text) { return reinterpret_cast<PUCHAR>(const_cast<char*>(text.data())); }

}  // namespace

namespace ecdsa {

KeyPair generateKeyPair() {
  Provider provider;
  if (!succeeded(provider.status)) throw failure("keygen", provider.status);
  Key key;
  NTSTATUS status = BCryptGenerateKeyPair(provider.handle, &key.handle, 256, 0);
  if (succeeded(status)) status = BCryptFinalizeKeyPair(key.handle, 0);
  UCHAR blob[sizeof(BCRYPT_ECCKEY_BLOB) + 3 * kScalarSize];
  ULONG length = 0;
  if (succeeded(status))
    status = BCryptExportKey(key.handle, nullptr, BCRYPT_ECCPRIVATE_BLOB, blob, sizeof blob, &length, 0);
  if (!succeeded(status)) throw failure("keygen", status);
  if (length != sizeof blob) throw IOException("keygen: BCrypt gives no P-256 key pair");
  const char* parts = reinterpret_cast<const char*>(blob) + sizeof(BCRYPT_ECCKEY_BLOB);
  KeyPair pair{std::string(parts + 2 * kScalarSize, kScalarSize), "\x04" + std::string(parts, 2 * kScalarSize)};
  SecureZeroMemory(blob, sizeof blob);
  return pair;
}

std::string signDigest(const KeyPair& pair, const std::string& digest) {
  Provider provider;
  Key key;
  NTSTATUS status = import(provider, pair.point, &pair.scalar, key);
  if (!succeeded(status)) throw failure("sign", status);
  UCHAR signature[kSignatureSize];
  ULONG length = 0;
  status = BCryptSignHash(key.handle, nullptr, bytesOf(digest), static_cast<ULONG>(digest.size()), signature,
                          sizeof signature, &length, 0);
  if (!succeeded(status)) throw failure("sign", status);
  if (length != kSignatureSize) throw IOException("sign: BCrypt gives no P-256 signature");
  return std::string(reinterpret_cast<char*>(signature), length);
}

bool verifyDigest(const std::string& point, const std::string& digest, const std::string& signature) {
  if (digest.size() != kDigestSize || signature.size() != kSignatureSize) return false;
  Provider provider;
  Key key;
  if (!succeeded(import(provider, point, nullptr, key))) return false;
  return succeeded(BCryptVerifySignature(key.handle, nullptr, bytesOf(digest), static_cast<ULONG>(digest.size()),
                                         bytesOf(signature), static_cast<ULONG>(signature.size()), 0));
}

bool acceptsPoint(const std::string& point) {
  Provider provider;
  Key key;
  return succeeded(import(provider, point, nullptr, key));
}

}  // namespace ecdsa
