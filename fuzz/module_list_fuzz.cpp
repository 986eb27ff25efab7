// The module list as the update server sends it, then written and read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "catalogue/ModuleList.h"
#include "catalogue/UpdatePlan.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  ModuleList available;
  try {
    available.readMemory(reinterpret_cast<const char*>(data), size);
  } catch (const XmlException&) {
    if (available.size() != 0) std::abort();  // a failed read leaves the list unchanged
    return 0;
  }
  ModuleList installed, queue;
  planDownloadQueue(queue, installed, available, {"modules.xml", "update.log"});
  queue.forEach([](Module& module) {
    if (!isSafeModuleName(module.name)) std::abort();
  });
  // What the commit writes must read back as the same number of records.
  available.writeFile("modules.xml");
  ModuleList reread;
  reread.readFile("modules.xml");
  if (reread.size() != available.size()) std::abort();
  return 0;
}
