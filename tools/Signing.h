#pragma once
// The publisher's side of signed module lists: making a key, signing a list and
// checking a signature as the updater will (updater-publish keygen, sign, verify,
// and publish --sign).
#include <string>

#include "support/Ecdsa.h"

// Writes a fresh private key file (Signature.h's form) at path, refusing to
// replace any file there, readable by its owner alone on POSIX; returns the
// public key text for the setting "publicKeys". Throws IOException.
std::string makeKeyFile(const std::string& path);

// The key pair of a private key file. Throws IOException "PATH: ...".
ecdsa::KeyPair readKeyFile(const std::string& path);

// Signs the file at listPath and writes the signature beside it, under the
// list's name followed by ".sig", replaced whole; returns that name. Throws
// IOException, leaving any earlier signature as it was.
std::string signListFile(const std::string& listPath, const ecdsa::KeyPair& key);

// Which of the keys (one or two public key texts as in "publicKeys") signed the
// file at listPath, by the signature beside it: 1 or 2. Throws IOException
// with the updater's own failure text otherwise.
int verifyListFile(const std::string& listPath, const std::string& publicKeys);

// Creates the file with the bytes, failing when anything exists at path; on
// POSIX readable and writable by its owner alone. False with errno set.
bool createPrivateFile(const std::string& path, const std::string& bytes);
