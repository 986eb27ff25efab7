#pragma once
// The module list's authenticity, for installations whose settings name public
// keys: the list must come with a signature by one of them, and every module it
// names with a SHA-256. Without keys nothing here is called and lists go
// unsigned as ever.
#include <string>
#include <vector>

#include "catalogue/ModuleList.h"

// The points of the setting "publicKeys": one or two public key texts
// (Signature.h), separated by white space; none for an empty or blank value.
// Throws IOException "publicKeys: ..." for anything else.
std::vector<std::string> publicKeysOf(const std::string& setting);

// Where the list's signature lies: its URL with ".sig" appended to the path,
// the query kept ("http://h/list?a=1" gives "http://h/list.sig?a=1").
std::string signatureAddress(const std::string& listAddress);

// Fetches the signature beside the list and checks that one of the keys made it
// over exactly the list's bytes. Throws IOException "module list signature
// missing: ...", "module list signature malformed (...)" or "module list
// signature does not match any of the public keys"; nothing is changed then.
void verifyModuleListSignature(const std::vector<std::string>& keys, const std::string& listAddress,
                               const std::string& list);

// Throws IOException "module list: NAME has no valid sha256" for the first
// module whose file a signed list does not pin down.
void requireSha256(const ModuleList& list);
