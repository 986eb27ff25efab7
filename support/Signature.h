#pragma once
// The text and file forms of P-256 keys and signatures (Ecdsa.h does the
// cryptography). Each is a form the openssl command line reads and writes too:
// - public key text: base64 of the key's DER SubjectPublicKeyInfo with an
//   uncompressed point, 91 bytes: the body of the PEM "PUBLIC KEY" that
//   `openssl pkey -pubout` writes, on one line;
// - private key file: PEM "PRIVATE KEY", an unencrypted PKCS#8 that holds the
//   public point as well, 138 bytes: what `openssl genpkey -algorithm EC
//   -pkeyopt ec_paramgen_curve:P-256` writes;
// - signature file: the DER ECDSA-Sig-Value (a SEQUENCE of the INTEGERs r and
//   s) over SHA-256 of the signed bytes: what `openssl dgst -sha256 -sign`
//   writes.
// Only these fixed P-256 layouts are read, byte for byte; the format handling
// here only hands the point, the scalar and r and s to the platform's crypto.
#include <string>
#include <vector>

#include "support/Ecdsa.h"

// Strict base64 (RFC 4648, padded, no white space); decoding gives false for
// anything else.
std::string base64Encode(const std::string& bytes);
bool base64Decode(const std::string& text, std::string& bytes);

// The point of a public key text; empty when the text is not one.
std::string pointOfPublicKeyText(const std::string& text);
std::string publicKeyTextOf(const std::string& point);

// The key pair of a private key file; an empty scalar when the text is not one.
ecdsa::KeyPair keyPairOfPrivateKeyFile(const std::string& text);
std::string privateKeyFileOf(const ecdsa::KeyPair& pair);

// r || s of a signature file; empty when the bytes are not a DER ECDSA
// signature whose r and s fit P-256 (32 bytes each).
std::string rawSignatureOf(const std::string& der);
// The DER form of r || s.
std::string derSignatureOf(const std::string& raw);

// The signature file of the bytes. Throws IOException.
std::string signBytes(const ecdsa::KeyPair& pair, const std::string& bytes);
// Which of the points (0 for the first) signed the bytes: the signature file's;
// -1 for none.
int signerOf(const std::vector<std::string>& points, const std::string& bytes, const std::string& signatureFile);
