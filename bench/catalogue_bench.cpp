// The catalogue's costs for one run at growing sizes: reading the installed and
// the available list, planning the queue, and writing the merged installed list,
// with xmllint's parse of the same files as the floor for reading; and what a
// signed list adds: checking the signature over the list's bytes (SHA-256 of
// them, then one ECDSA P-256 verification per key tried) and that every module
// carries a sha256, against reading the same bytes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/ModuleListSignature.h"
#include "bench/ServerList.h"
#include "catalogue/ModuleList.h"
#include "catalogue/UpdatePlan.h"
#include "support/Signature.h"
#include "tests/TestSupport.h"

namespace {

// The lists' files, made once per size in a folder that goes when the program ends.
const testing_support::ScopedWorkingDirectory scratch;

std::string listFile(long n, bool installed) {
  const std::string path = std::to_string(n) + (installed ? "-installed.xml" : "-available.xml");
  if (!testing_support::fileExists(path))
    testing_support::writeFile(path, installed ? bench::installedList(n) : bench::serverList(n));
  return path;
}

void BM_ReadList(benchmark::State& state) {
  const std::string path = listFile(state.range(0), false);
  for (auto _ : state) {
    ModuleList list;
    list.readFile(path);
    benchmark::DoNotOptimize(list.size());
  }
  state.SetComplexityN(state.range(0));
}

#ifdef XMLLINT_PROGRAM
// The floor as the issue names it: `xmllint --noout` on the same file, process
// start included.
void BM_XmllintNoout(benchmark::State& state) {
  const std::string command = std::string(XMLLINT_PROGRAM) + " --noout " + listFile(state.range(0), false);
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("xmllint failed");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetComplexityN(state.range(0));
}
#endif

// The two lists as a run reads them, and the queue it plans.
struct Run {
  explicit Run(long n) {
    installed.readFile(listFile(n, true));
    available.readFile(listFile(n, false));
    planDownloadQueue(queue, installed, available);
  }
  ModuleList installed, available, queue;
};

void BM_PlanQueue(benchmark::State& state) {
  Run run(state.range(0));
  for (auto _ : state) {
    ModuleList queue;
    planDownloadQueue(queue, run.installed, run.available);
    benchmark::DoNotOptimize(queue.size());
  }
  state.SetComplexityN(state.range(0));
}

void BM_WriteMerged(benchmark::State& state) {
  Run run(state.range(0));
  for (auto _ : state) {
    ModuleList merged(run.installed);
    merged.addAll(run.queue);
    merged.writeFile("merged.xml");
  }
  state.SetComplexityN(state.range(0));
}

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
BENCHMARK(BM_ReadList)->SIZES->Complexity(benchmark::oNLogN);
#ifdef XMLLINT_PROGRAM
BENCHMARK(BM_XmllintNoout)->SIZES->UseManualTime()->Complexity(benchmark::oN);
#endif
BENCHMARK(BM_PlanQueue)->SIZES->Complexity(benchmark::oNLogN);
BENCHMARK(BM_WriteMerged)->SIZES->Complexity(benchmark::oNLogN);
BENCHMARK(BM_VerifySignature)->SIZES;
BENCHMARK(BM_RequireSha256)->SIZES;
BENCHMARK(BM_ReadSignedList)->SIZES;

}  // namespace

BENCHMARK_MAIN();
