#include "app/ModuleListSignature.h"

#include "net/Retry.h"
#include "support/Digest.h"
#include "support/Exceptions.h"
#include "support/Log.h"
#include "support/Signature.h"

namespace {
// Two, so that a studio can move to a new key while the old one still counts.
constexpr std::size_t kMaxPublicKeys = 2;
// A DER P-256 signature is at most 72 bytes; anything far larger is not one.
constexpr uint64_t kSignatureLimit = 4096;
constexpr std::size_t kSha256Digits = 64;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::vector<std::string> publicKeysOf(const std::string& setting) {
  std::vector<std::string> points;
  std::size_t at = 0;
  while (true) {
    while (at < setting.size() && isBlank(setting[at])) ++at;
    if (at == setting.size()) break;
    std::size_t end = at;
    while (end < setting.size() && !isBlank(setting[end])) ++end;
    if (points.size() == kMaxPublicKeys) throw IOException("publicKeys: more than two keys");
    std::string point = pointOfPublicKeyText(setting.substr(at, end - at));
    if (point.empty() || !ecdsa::acceptsPoint(point)) {
      throw IOException("publicKeys: key " + std::to_string(points.size() + 1) + " is not a P-256 public key");
    }
    points.push_back(point);
    at = end;
  }
  return points;
}

std::string signatureAddress(const std::string& listAddress) {
  std::string address = listAddress;
  std::size_t query = address.find('?');
  address.insert(query == std::string::npos ? address.size() : query, ".sig");
  return address;
}

void verifyModuleListSignature(const std::vector<std::string>& keys, const std::string& listAddress,
                               const std::string& list) {
  std::string signature;
  try {
    signature = fetchWholeText("the module list signature", signatureAddress(listAddress), kSignatureLimit);
  } catch (const IOException& e) {
    throw IOException("module list signature missing: " + e);
  }
  if (rawSignatureOf(signature).empty()) {
    throw IOException("module list signature malformed (" + std::to_string(signature.size()) +
                      " bytes, not a DER ECDSA P-256 signature)");
  }
  int signer = signerOf(keys, list, signature);
  if (signer < 0) throw IOException("module list signature does not match any of the public keys");
  logPrintf("module list signed by public key %d\n", signer + 1);
}

void requireSha256(const ModuleList& list) {
  const Module* unpinned = nullptr;
  list.forEach([&](Module& module) {
    if (unpinned == nullptr && !isHexText(module.sha256, kSha256Digits)) unpinned = &module;
  });
  if (unpinned != nullptr) throw IOException("module list: " + unpinned->name + " has no valid sha256");
}
