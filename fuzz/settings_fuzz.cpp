// The settings file, read from the working directory as the program reads it.
#include <cstddef>
#include <cstdint>
#include <fstream>

#include "settings/UpdaterIni.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  std::ofstream("UpdaterIni.xml", std::ios::binary).write(reinterpret_cast<const char*>(data), size);
  try {
    UpdaterIni settings;
    settings.get("modulesFile");
  } catch (const IOException&) {
  }
  return 0;
}
