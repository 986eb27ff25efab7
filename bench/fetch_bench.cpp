// Fetches one URL to a file with the updater's fetcher and prints
// "<bytes> <seconds>" for the benchmark script. Given the body's MD5, it
// downloads it as a module instead (to OUTPUT.new, checked on the way), run in
// a folder with an UpdaterIni.xml.
#include <chrono>
#include <cstdio>
#include <string>

#include "app/Updater.h"
#include "net/URL.h"
#include "support/Exceptions.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: fetch_bench URL OUTPUT [MD5]\n");
    return 2;
  }
  initializeNetworking();
  URL url(argv[1]);
  auto start = std::chrono::steady_clock::now();
  try {
    if (argc == 4) {
      Updater updater;
      Module module(argv[2], "1.0", argv[1], argv[3], "true", "false", nullptr);
      updater.fetchComponent(module);
    } else {
      FILE* file = std::fopen(argv[2], "wb");
      if (file == nullptr) throw IOException(std::string(argv[2]) + ": cannot be opened");
      std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
      url.fetchToFile(file);
      std::fclose(file);
    }
  } catch (const std::string& e) {
    std::fprintf(stderr, "fetch failed: %s\n", e.c_str());
    return 1;
  }
  std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  std::printf("%.6f\n", elapsed.count());
  return 0;
}
