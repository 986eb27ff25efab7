#include "app/DebugDelay.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "support/Log.h"

namespace {
std::function<void(uint32_t)>& delayOverride() {
  static std::function<void(uint32_t)> function;
  return function;
}
}  // namespace

uint32_t debugDelayMilliseconds(const std::string& value) {
  unsigned long long seconds = std::strtoull(value.c_str(), nullptr, 0);
  // A 32-bit strtoul saturates; so does this, on every platform.
  if (seconds > 0xFFFFFFFFull) seconds = 0xFFFFFFFFull;
  return static_cast<uint32_t>(seconds) * 1000u;
}

void debugDelay(const std::string& value) {
  if (value.empty()) return;
  logPrintf("dd = %s\n", value.c_str());
  uint32_t milliseconds = debugDelayMilliseconds(value);
  if (delayOverride()) {
    delayOverride()(milliseconds);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
}

void setDelayFunctionForTesting(std::function<void(uint32_t)> function) { delayOverride() = std::move(function); }
