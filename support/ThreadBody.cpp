#include <cxxabi.h>

#include <string>

#include "support/Log.h"
#include "support/Thread.h"

// UBSan takes the catch of the unwinding's object-less exception for a null
// reference; the catch itself is how glibc asks to be let through.
__attribute__((no_sanitize("undefined"))) uint32_t runThreadBody(Thread* thread) {
  try {
    return thread->run();
  } catch (const std::string& text) {
    logPrintf("Exception in thread: %s\n", text.c_str());
  } catch (abi::__forced_unwind&) {
    // A cancelled POSIX thread unwinds with this; swallowing it aborts the process.
    throw;
  } catch (...) {
    logPrintf("Exception in thread\n");
  }
  return 0;
}
