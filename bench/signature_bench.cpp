// What a signed module list costs a run: checking the signature over the list's
// bytes (SHA-256 of them, then one ECDSA P-256 verification per key tried) and
// checking that every module carries a sha256, against reading the same list.
#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

#include "app/ModuleListSignature.h"
#include "bench/ServerList.h"
#include "support/Signature.h"

namespace {

struct SignedList {
  std::string bytes, signature;
  std::vector<std::string> keys;  // the signer's is the second: both are tried
};

const SignedList& listOf(long n) {
  static std::map<long, SignedList> made;
  SignedList& list = made[n];
  if (list.bytes.empty()) {
    list.bytes = bench::serverList(n, true);
    const ecdsa::KeyPair other = ecdsa::generateKeyPair(), signer = ecdsa::generateKeyPair();
    list.signature = signBytes(signer, list.bytes);
    list.keys = {other.point, signer.point};
  }
  return list;
}

void BM_VerifySignature(benchmark::State& state) {
  const SignedList& list = listOf(state.range(0));
  for (auto _ : state)
    if (signerOf(list.keys, list.bytes, list.signature) != 1) state.SkipWithError("not verified");
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

BENCHMARK_MAIN();
