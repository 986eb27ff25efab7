#include <string>

#include "support/Log.h"
#include "support/Thread.h"

uint32_t runThreadBody(Thread* thread) {
  try {
    return thread->run();
  } catch (const std::string& text) {
    logPrintf("Exception in thread: %s\n", text.c_str());
  } catch (...) {
    logPrintf("Exception in thread\n");
  }
  return 0;
}
