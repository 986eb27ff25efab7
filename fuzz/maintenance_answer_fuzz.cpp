// The maintenance manager's answer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/MaintenanceReport.h"
#include "support/Exceptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  MaintenanceReport report;
  try {
    report.read(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const XmlException&) {
    // Unchanged after a failure: updates stay allowed.
    if (report.successful || !report.updatesAllowed()) std::abort();
  }
  return 0;
}
