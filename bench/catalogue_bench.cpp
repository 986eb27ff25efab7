// The catalogue's costs for one run at growing sizes: reading the installed and
// the available list, planning the queue, and writing the merged installed list;
// with xmllint's parse of the same files as the floor for reading.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/ServerList.h"
#include "catalogue/ModuleList.h"
#include "catalogue/UpdatePlan.h"

namespace {

namespace fs = std::filesystem;

// The lists' files, made once per size; the folder goes when the program ends.
struct Scratch {
  fs::path dir = fs::temp_directory_path() / ("updater-bench-" + std::to_string(std::random_device()()));
  Scratch() { fs::create_directories(dir); }
  ~Scratch() {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
} scratch;

std::string listFile(long n, bool installed) {
  const fs::path path = scratch.dir / (std::to_string(n) + (installed ? "-installed.xml" : "-available.xml"));
  if (!fs::exists(path)) std::ofstream(path, std::ios::binary) << (installed ? bench::installedList(n) : bench::serverList(n));
  return path.string();
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
  const std::string path = (scratch.dir / "merged.xml").string();
  for (auto _ : state) {
    ModuleList merged(run.installed);
    merged.addAll(run.queue);
    merged.writeFile(path);
  }
  state.SetComplexityN(state.range(0));
}

#define SIZES RangeMultiplier(10)->Range(1000, 100000)->Unit(benchmark::kMillisecond)
BENCHMARK(BM_ReadList)->SIZES->Complexity(benchmark::oNLogN);
#ifdef XMLLINT_PROGRAM
BENCHMARK(BM_XmllintNoout)->SIZES->UseManualTime()->Complexity(benchmark::oN);
#endif
BENCHMARK(BM_PlanQueue)->SIZES->Complexity(benchmark::oNLogN);
BENCHMARK(BM_WriteMerged)->SIZES->Complexity(benchmark::oNLogN);

}  // namespace

BENCHMARK_MAIN();
