#pragma once
// The publisher's side of signed module lists: making a key and signing a list.
#include <string>

// Writes a fresh private key file (Signature.h's form) at path, refusing to
// replace any file there, readable by its owner alone on POSIX; returns the
// public key text for the setting "publicKeys". Throws IOException.
std::string makeKeyFile(const std::string& path);

// Signs the file at listPath with the private key file at keyPath and writes
// the signature beside it, under the list's name followed by ".sig"; returns
// that name. Throws IOException, writing nothing.
std::string signListFile(const std::string& listPath, const std::string& keyPath);

// Which of the keys (one or two public key texts as in "publicKeys") signed the
// file at listPath, by the signature beside it: 1 or 2. Throws IOException
// with the updater's own failure text otherwise.
int verifyListFile(const std::string& listPath, const std::string& publicKeys);

// Creates the file with the bytes, failing when anything exists at path; on
// POSIX readable and writable by its owner alone. False with errno set.
bool createPrivateFile(const std::string& path, const std::string& bytes);
