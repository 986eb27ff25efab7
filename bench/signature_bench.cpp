// What a signed module list costs a run: checking the signature over the list's
// bytes (SHA-256 of them, then one ECDSA P-256 verification per key tried) and
// checking that every module carries a sha256, against reading the same list.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <cstdio>
#include <map>
#include <string>

#include "app/ModuleListSignature.h"
#include "support/Digest.h"
#include "support/Signature.h"

namespace {

struct SignedList {
  std::string bytes;
  std::string signature;
  std::vector<std::string> keys;  // the signer's is the second: both are tried
};

// The shape of catalogue_bench's server list, with a sha256 on every module.
const SignedList& listOf(long n) {
  static std::map<long, SignedList> made;
  auto found = made.find(n);
  if (found != made.end()) return found->second;
  SignedList list;
  list.bytes = "<?xml version=\"1.0\"?>\n<answer><downloadFiles>\n";
  char line[512];
  for (long i = 0; i < n; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "data/pack%03ld/file%07ld.dat", i % 512, i);
    std::string sha256 = hexText(Digest::of(DigestAlgorithm::Sha256, name));
    std::snprintf(line, sizeof line,
                  "  <module name=\"%s\" version=\"1.%ld\" md5sum=\"%032lx\" sha256=\"%s\""
                  " url=\"http://cdn.example/%s\" critical=\"%s\" contentLength=\"%ld\"/>\n",
                  name, i % 50, i * 2654435761L, sha256.c_str(), name, i % 7 == 0 ? "true" : "false", 1000 + i);
    list.bytes += line;
  }
  list.bytes += "</downloadFiles></answer>\n";
  ecdsa::KeyPair other = ecdsa::generateKeyPair();
  ecdsa::KeyPair signer = ecdsa::generateKeyPair();
  list.signature = signBytes(signer, list.bytes);
  list.keys = {other.point, signer.point};
  return made.emplace(n, list).first->second;
}

void BM_VerifySignature(benchmark::State& state) {
  const SignedList& list = listOf(state.range(0));
  for (auto _ : state) {
    if (signerOf(list.keys, list.bytes, list.signature) != 1) state.SkipWithError("not verified");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(list.bytes.size()));
  state.counters["list_bytes"] = static_cast<double>(list.bytes.size());
}

void BM_RequireSha256(benchmark::State& state) {
  const SignedList& list = listOf(state.range(0));
  ModuleList modules;
  modules.readMemory(list.bytes.data(), list.bytes.size());
  for (auto _ : state) requireSha256(modules);
}

// For scale: the read every run does anyway.
void BM_ReadSignedList(benchmark::State& state) {
  const SignedList& list = listOf(state.range(0));
  for (auto _ : state) {
    ModuleList modules;
    modules.readMemory(list.bytes.data(), list.bytes.size());
    benchmark::DoNotOptimize(modules.size());
  }
}

#define SIZES RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_VerifySignature)->SIZES;
BENCHMARK(BM_RequireSha256)->SIZES;
BENCHMARK(BM_ReadSignedList)->SIZES;

}  // namespace

int main(int argc, char** argv) {
  xmlInitParser();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
