#include "tools/Signing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "app/ModuleListSignature.h"
#include "support/Exceptions.h"
#include "support/Signature.h"

namespace {

std::string contentOf(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw IOException(path + ": " + std::strerror(errno));
  std::ostringstream bytes;
  bytes << in.rdbuf();
  if (in.bad()) throw IOException(path + ": read error");
  return bytes.str();
}

}  // namespace

std::string makeKeyFile(const std::string& path) {
  ecdsa::KeyPair pair = ecdsa::generateKeyPair();
  if (!createPrivateFile(path, privateKeyFileOf(pair))) throw IOException(path + ": " + std::strerror(errno));
  return publicKeyTextOf(pair.point);
}

ecdsa::KeyPair readKeyFile(const std::string& path) {
  ecdsa::KeyPair pair = keyPairOfPrivateKeyFile(contentOf(path));
  if (pair.scalar.empty()) throw IOException(path + ": not a P-256 private key (PEM \"PRIVATE KEY\")");
  return pair;
}

std::string signListFile(const std::string& listPath, const ecdsa::KeyPair& key) {
  const std::string signature = signBytes(key, contentOf(listPath));
  const std::string signaturePath = listPath + ".sig";
  const std::string part = signaturePath + ".new";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << signature;
    out.close();
    if (!out) {
      std::remove(part.c_str());
      throw IOException(part + ": cannot be written");
    }
  }
  // Replaced whole, so a server never hands out half a signature.
  std::remove(signaturePath.c_str());
  if (std::rename(part.c_str(), signaturePath.c_str()) != 0) {
    std::string reason = std::strerror(errno);
    std::remove(part.c_str());
    throw IOException(signaturePath + ": " + reason);
  }
  return signaturePath;
}

int verifyListFile(const std::string& listPath, const std::string& publicKeys) {
  std::vector<std::string> keys = publicKeysOf(publicKeys);
  if (keys.empty()) throw IOException("publicKeys: no key given");
  const std::string list = contentOf(listPath);
  const std::string signature = contentOf(listPath + ".sig");
  if (rawSignatureOf(signature).empty()) throw IOException("module list signature malformed");
  int signer = signerOf(keys, list, signature);
  if (signer < 0) throw IOException("module list signature does not match any of the public keys");
  return signer + 1;
}
