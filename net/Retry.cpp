#include "net/Retry.h"

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "support/Exceptions.h"
#include "support/Log.h"

namespace {
constexpr uint32_t kFirstPauseMilliseconds = 1000;
constexpr int64_t kLongestRetryAfterSeconds = 60;

std::function<void(uint32_t)>& pauseOverride() {
  static std::function<void(uint32_t)> function;
  return function;
}

double randomJitter() {
  thread_local std::minstd_rand generator(static_cast<unsigned>(
      std::chrono::steady_clock::now().time_since_epoch().count()));
  return std::uniform_real_distribution<double>(0.0, 1.0)(generator);
}
}  // namespace

uint32_t retryPauseMilliseconds(int retry, int64_t retryAfterSeconds, double jitter) {
  const uint32_t base = kFirstPauseMilliseconds << std::min(std::max(retry - 1, 0), 16);
  uint32_t pause = base + static_cast<uint32_t>(base * 0.25 * std::min(std::max(jitter, 0.0), 1.0));
  if (retryAfterSeconds > 0) {
    const uint32_t asked = static_cast<uint32_t>(std::min(retryAfterSeconds, kLongestRetryAfterSeconds) * 1000);
    pause = std::max(pause, asked);
  }
  return pause;
}

void runWithRetries(const std::string& what, const std::function<void(FetchFailure& failure)>& attempt) {
  for (int retry = 1;; ++retry) {
    FetchFailure failure;
    try {
      attempt(failure);
      return;
    } catch (const IOException& e) {
      if (!failure.transient || retry > kMaxRetries) throw;
      const uint32_t pause = retryPauseMilliseconds(retry, failure.retryAfterSeconds, randomJitter());
      logPrintf("retry %d of %d for %s in %u ms: %s\n", retry, kMaxRetries, what.c_str(), pause, e.c_str());
      if (pauseOverride())
        pauseOverride()(pause);
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(pause));
    }
  }
}

std::string fetchWholeText(const std::string& what, const std::string& address, uint64_t limit) {
  std::string text;
  runWithRetries(what, [&](FetchFailure& failure) {
    text.clear();
    URL url(address);
    try {
      url.fetchToString(text, limit);
    } catch (const IOException&) {
      failure = url.failure();
      throw;
    }
    // A list cut short may still parse, or fail as if the server had sent it so;
    // the next try may bring it whole.
    const std::string why = url.incompleteBodyText();
    if (why.empty()) return;
    failure.transient = true;
    throw IOException(why);
  });
  return text;
}

void setRetryPauseForTesting(std::function<void(uint32_t)> pause) { pauseOverride() = std::move(pause); }
