// The settings file, read from the working directory as the program reads it.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "settings/UpdaterIni.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FILE* file = std::fopen("UpdaterIni.xml", "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  try {
    UpdaterIni settings;
    settings.get("modulesFile");
  } catch (const IOException&) {
  }
  return 0;
}
