#include "support/Log.h"

#include <cstdarg>
#include <cstdio>

#include "support/FreshFile.h"

namespace {
// Opened by the first call, which the Updater makes on the main thread before any
// other thread exists; left for the runtime library to close at exit.
FILE* logStream = nullptr;
}  // namespace

void logPrintf(const char* format, ...) {
  if (logStream == nullptr) {
    logStream = openFreshFile("update.log", true);
    if (logStream == nullptr) logStream = stderr;
  }
  va_list args;
  va_start(args, format);
  std::vfprintf(logStream, format, args);
  va_end(args);
  std::fflush(logStream);
}
