// Fetches one URL to a file with the updater's fetcher and prints
// "<bytes> <seconds>" for the benchmark script; with "md5", also computes the
// MD5 of the body on the way, as a module's download does.
#include <chrono>
#include <cstdio>
#include <string>

#include "net/URL.h"
#include "support/Digest.h"
#include "support/Exceptions.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: fetch_bench URL OUTPUT [md5]\n");
    return 2;
  }
  initializeNetworking();
  FILE* file = std::fopen(argv[2], "wb");
  if (file == nullptr) {
    std::perror(argv[2]);
    return 1;
  }
  std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
  Digest digest(DigestAlgorithm::Md5);
  const bool hash = argc == 4;
  URL url(argv[1]);
  auto start = std::chrono::steady_clock::now();
  try {
    url.fetchToFile(file, [&](const char* bytes, std::size_t count) {
      if (hash) digest.update(bytes, count);
    });
  } catch (const std::string& e) {
    std::fclose(file);
    std::fprintf(stderr, "fetch failed: %s\n", e.c_str());
    return 1;
  }
  std::fclose(file);
  if (hash) digest.finish();
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%llu %.6f\n", static_cast<unsigned long long>(url.bytesReceived()), elapsed.count());
  return 0;
}
