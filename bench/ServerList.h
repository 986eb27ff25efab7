#pragma once
// The module lists the benchmarks read: n modules in 512 folders, every seventh
// critical. Against the installed list, every third module is newer on the
// server, every tenth of those with the same checksum, and one in twenty is new.
#include <cstdio>
#include <string>

#include "support/Digest.h"

namespace bench {

inline std::string nameOf(long i) {
  char name[64];
  std::snprintf(name, sizeof name, "data/pack%03ld/file%07ld.dat", i % 512, i);
  return name;
}

inline std::string checksum(long i, int salt) {
  char text[64];
  std::snprintf(text, sizeof text, "%08lx%08x%016lx", i * 2654435761L, salt, i ^ 0x5bd1e995L);
  return text;
}

// With sha256, every module carries one, as a signed list must.
inline std::string serverList(long n, bool sha256 = false) {
  std::string xml = "<?xml version=\"1.0\"?>\n<answer><downloadFiles>\n";
  for (long i = 0; i < n; ++i) {
    const std::string name = nameOf(i);
    const bool newer = i % 3 == 0;
    xml += "  <module name=\"" + name + "\" version=\"1." + std::to_string(i % 50 + newer) + "\" md5sum=\"" +
           checksum(i, newer && i % 30 != 0 ? 2 : 1) + "\"" +
           (sha256 ? " sha256=\"" + hexText(Digest::of(DigestAlgorithm::Sha256, name)) + "\"" : "") +
           " url=\"http://cdn.example/" + name + "\" critical=\"" + (i % 7 == 0 ? "true" : "false") +
           "\" contentLength=\"" + std::to_string(1000 + i) + "\"/>\n";
  }
  return xml + "</downloadFiles></answer>\n";
}

inline std::string installedList(long n) {
  std::string xml = "<?xml version=\"1.0\"?>\n<modules>\n";
  for (long i = 0; i < n; ++i) {
    if (i % 20 == 19) continue;
    xml += "  <module name=\"" + nameOf(i) + "\" version=\"1." + std::to_string(i % 50) + "\" md5sum=\"" +
           checksum(i, 1) + "\"/>\n";
  }
  return xml + "</modules>\n";
}

}  // namespace bench
