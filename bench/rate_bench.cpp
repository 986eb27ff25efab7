// Fetches one URL with the updater's fetcher under the download rate limit
// and prints "<bytes per second before> <bytes per second after>" for the
// benchmark script: RATE for SECONDS, then (from another thread, as the
// status server would) LATER for SECONDS more, when given. The file must be
// large enough to last; the fetch is cut off at the end.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "net/RateLimit.h"
#include "net/URL.h"

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: rate_bench URL SECONDS RATE [LATER]\n");
    return 2;
  }
  const double seconds = std::atof(argv[2]);
  const double end = argc == 5 ? 2 * seconds : seconds;
  initializeNetworking();
  downloadRateLimit().setRate(std::strtoull(argv[3], nullptr, 10));
  const auto start = std::chrono::steady_clock::now();
  auto since = [start] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
  std::atomic<double> changedAt{-1};
  std::thread changer([&] {
    if (argc != 5) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    downloadRateLimit().setRate(std::strtoull(argv[4], nullptr, 10));
    changedAt = since();
  });
  struct Enough {};
  uint64_t before = 0, after = 0;
  FILE* sink = std::fopen("/dev/null", "wb");
  try {
    URL(argv[1]).fetchToFile(sink, [&](const char*, std::size_t count) {
      (changedAt < 0 ? before : after) += count;
      if (since() >= end) throw Enough();
    });
  } catch (const Enough&) {
  } catch (const std::string& e) {
    std::fprintf(stderr, "fetch failed: %s\n", e.c_str());
  }
  const double total = since();
  changer.join();
  std::fclose(sink);
  const double split = changedAt < 0 ? total : changedAt.load();
  std::printf("%.0f %.0f\n", before / split, changedAt < 0 ? 0.0 : after / (total - split));
  return 0;
}
