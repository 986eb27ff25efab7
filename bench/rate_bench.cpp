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
#include "support/Exceptions.h"

namespace {
struct Enough {};
using Clock = std::chrono::steady_clock;
double since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) {
    std::fprintf(stderr, "usage: rate_bench URL SECONDS RATE [LATER]\n");
    return 2;
  }
  const double seconds = std::atof(argv[2]);
  const uint64_t later = argc == 5 ? std::strtoull(argv[4], nullptr, 10) : 0;
  const double end = argc == 5 ? 2 * seconds : seconds;
  initializeNetworking();
  downloadRateLimit().setRate(std::strtoull(argv[3], nullptr, 10));
  FILE* sink = std::fopen("/dev/null", "wb");
  URL url(argv[1]);
  const Clock::time_point start = Clock::now();
  std::atomic<double> changedAt{-1};
  std::thread changer([&] {
    if (argc != 5) return;
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    downloadRateLimit().setRate(later);
    changedAt = since(start);
  });
  uint64_t before = 0, after = 0;
  try {
    url.fetchToFile(sink, [&](const char*, std::size_t count) {
      (changedAt < 0 ? before : after) += count;
      if (since(start) >= end) throw Enough();
    });
  } catch (const Enough&) {
  } catch (const std::string& e) {
    std::fprintf(stderr, "fetch failed: %s\n", e.c_str());
  }
  const double total = since(start);
  changer.join();
  std::fclose(sink);
  const double split = changedAt < 0 ? total : changedAt.load();
  std::printf("%.0f %.0f\n", before / split, changedAt < 0 ? 0.0 : after / (total - split));
  return 0;
}
