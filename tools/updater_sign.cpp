// updater-sign: makes the key and signs the module list for installations whose
// settings name "publicKeys".
//   updater-sign keygen KEYFILE       writes a new private key, prints the public key text
//   updater-sign sign LIST KEYFILE    writes LIST.sig
//   updater-sign verify LIST KEYS     checks LIST.sig as the updater does
// Exit codes: 0 done, 1 failed, 2 bad usage.
#include <cstdio>
#include <string>

#include "support/Exceptions.h"
#include "tools/Signing.h"

namespace {
int usage() {
  std::fprintf(stderr,
               "usage: updater-sign keygen KEYFILE\n"
               "       updater-sign sign LIST KEYFILE\n"
               "       updater-sign verify LIST PUBLICKEYS\n");
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string command = argv[1];
  try {
    if (command == "keygen" && argc == 3) {
      std::printf("%s\n", makeKeyFile(argv[2]).c_str());
    } else if (command == "sign" && argc == 4) {
      std::printf("%s\n", signListFile(argv[2], argv[3]).c_str());
    } else if (command == "verify" && argc == 4) {
      std::printf("signed by public key %d\n", verifyListFile(argv[2], argv[3]));
    } else {
      return usage();
    }
  } catch (const std::string& failure) {
    std::fprintf(stderr, "updater-sign: %s\n", failure.c_str());
    return 1;
  }
  return 0;
}
