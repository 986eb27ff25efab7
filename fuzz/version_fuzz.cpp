// Version texts and their order: two texts from one input, split at its first NUL.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "catalogue/Module.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const ModuleVersion a(input.substr(0, split));
  const ModuleVersion b(split == std::string::npos ? std::string() : input.substr(split + 1));
  // A strict order: never both ways, never a version older than itself.
  if ((a.isOlderThan(b) && b.isOlderThan(a)) || a.isOlderThan(a)) std::abort();
  // The two texts as a record reads its version and its contentLength.
  Module("m", a.text.c_str(), nullptr, nullptr, nullptr, nullptr, b.text.c_str());
  return 0;
}
