// The catalogue's costs for one run at growing sizes: reading the installed and
// the available list, planning the queue, and writing the merged installed list;
// with xmllint's parse of the same files as the floor for reading.
#include <benchmark/benchmark.h>
#include <libxml/parser.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>

#include "catalogue/ModuleList.h"
#include "catalogue/UpdatePlan.h"

namespace {

namespace fs = std::filesystem;

struct Files {
  std::string installed;
  std::string available;
  std::string merged;
};

fs::path scratch() {
  static const fs::path dir = [] {
    fs::path path = fs::temp_directory_path() / ("updater-bench-" + std::to_string(std::random_device()()));
    fs::create_directories(path);
    return path;
  }();
  return dir;
}

std::string checksum(long i, int salt) {
  char text[64];
  std::snprintf(text, sizeof text, "%08lx%08x%016lx", i * 2654435761L, salt, i ^ 0x5bd1e995L);
  return text;
}

// A realistic spread: every third module has a newer version on the server,
// every tenth of those the same checksum, and one in twenty is new.
const Files& filesFor(long n) {
  static std::map<long, Files> made;
  auto found = made.find(n);
  if (found != made.end()) return found->second;
  Files files;
  std::string base = (scratch() / std::to_string(n)).string();
  files.installed = base + "-installed.xml";
  files.available = base + "-available.xml";
  files.merged = base + "-merged.xml";
  FILE* installed = std::fopen(files.installed.c_str(), "wb");
  FILE* available = std::fopen(files.available.c_str(), "wb");
  std::fputs("<?xml version=\"1.0\"?>\n<modules>\n", installed);
  std::fputs("<?xml version=\"1.0\"?>\n<answer><downloadFiles>\n", available);
  for (long i = 0; i < n; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "data/pack%03ld/file%07ld.dat", i % 512, i);
    bool isNew = i % 20 == 19;
    bool newer = i % 3 == 0;
    std::string sum = checksum(i, 1);
    if (!isNew) {
      std::fprintf(installed, "  <module name=\"%s\" version=\"1.%ld\" md5sum=\"%s\"/>\n", name, i % 50,
                   sum.c_str());
    }
    std::string offered = newer && i % 30 != 0 ? checksum(i, 2) : sum;
    std::fprintf(available,
                 "  <module name=\"%s\" version=\"1.%ld\" md5sum=\"%s\" url=\"http://cdn.example/%s\""
                 " critical=\"%s\" contentLength=\"%ld\"/>\n",
                 name, i % 50 + (newer ? 1 : 0), offered.c_str(), name, i % 7 == 0 ? "true" : "false",
                 1000 + i);
  }
  std::fputs("</modules>\n", installed);
  std::fputs("</downloadFiles></answer>\n", available);
  std::fclose(installed);
  std::fclose(available);
  return made.emplace(n, files).first->second;
}

void BM_ReadList(benchmark::State& state) {
  const Files& files = filesFor(state.range(0));
  for (auto _ : state) {
    ModuleList list;
    list.readFile(files.available);
    benchmark::DoNotOptimize(list.size());
  }
  state.SetComplexityN(state.range(0));
}

#ifdef XMLLINT_PROGRAM
// The floor as the issue names it: `xmllint --noout` on the same file, process
// start included.
void BM_XmllintNoout(benchmark::State& state) {
  const Files& files = filesFor(state.range(0));
  std::string command = std::string(XMLLINT_PROGRAM) + " --noout " + files.available;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) state.SkipWithError("xmllint failed");
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.SetComplexityN(state.range(0));
}
#endif

void BM_PlanQueue(benchmark::State& state) {
  const Files& files = filesFor(state.range(0));
  ModuleList installed;
  installed.readFile(files.installed);
  ModuleList available;
  available.readFile(files.available);
  for (auto _ : state) {
    ModuleList queue;
    planDownloadQueue(queue, installed, available);
    benchmark::DoNotOptimize(queue.size());
  }
  state.SetComplexityN(state.range(0));
}

void BM_WriteMerged(benchmark::State& state) {
  const Files& files = filesFor(state.range(0));
  ModuleList installed;
  installed.readFile(files.installed);
  ModuleList available;
  available.readFile(files.available);
  ModuleList queue;
  planDownloadQueue(queue, installed, available);
  for (auto _ : state) {
    ModuleList merged(installed);
    merged.addAll(queue);
    merged.writeFile(files.merged);
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

int main(int argc, char** argv) {
  xmlInitParser();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  fs::remove_all(scratch(), ignored);
  return 0;
}
