// Fetches one URL to a file with the updater's fetcher and prints
// "<bytes> <seconds>" for the benchmark script.
#include <chrono>
#include <cstdio>
#include <string>

#include "net/URL.h"
#include "support/Exceptions.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fetch_bench URL OUTPUT\n");
    return 2;
  }
  initializeNetworking();
  FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  URL url(argv[1]);
  auto start = std::chrono::steady_clock::now();
  try {
    url.fetchToFile(file);
  } catch (const std::string& e) {
    std::fclose(file);
    std::fprintf(stderr, "fetch failed: %s\n", e.c_str());
    return 1;
  }
  std::fclose(file);
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%llu %.6f\n", static_cast<unsigned long long>(url.bytesReceived()), elapsed.count());
  return 0;
}
