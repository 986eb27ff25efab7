#include "net/RateLimit.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <utility>

namespace {
double burstOf(uint64_t bytesPerSecond) {
  return static_cast<double>(bytesPerSecond) * RateLimit::kBurstMicroseconds / 1e6;
}
}  // namespace

RateLimit::RateLimit(Clock clock, Sleep sleep)
    : clock(std::move(clock)), sleep(std::move(sleep)), bytesPerSecond(0), tokens(0), filledAt(0) {}

void RateLimit::refill(int64_t now) {
  if (now <= filledAt) return;
  const double earned = static_cast<double>(bytesPerSecond) * static_cast<double>(now - filledAt) / 1e6;
  tokens = std::min(burstOf(bytesPerSecond), tokens + earned);
  filledAt = now;
}

void RateLimit::setRate(uint64_t rate) {
  MutexGuard held(lock);
  const int64_t now = clock();
  if (bytesPerSecond == 0) {
    // A new limit starts with a full bucket.
    tokens = burstOf(rate);
  } else {
    refill(now);
    tokens = rate == 0 ? 0 : std::min(tokens, burstOf(rate));
  }
  filledAt = now;
  bytesPerSecond = rate;
}

void RateLimit::take(std::size_t count) {
  if (bytesPerSecond == 0) return;
  bool owing = false;
  for (;;) {
    int64_t wait = 0;
    {
      MutexGuard held(lock);
      if (bytesPerSecond == 0) return;
      refill(clock());
      if (!owing) {
        // Taken at once, even beyond what the bucket holds: the debt is what
        // this thread, and any other taking meanwhile, sleeps off.
        tokens -= static_cast<double>(count);
        owing = true;
      }
      if (tokens >= 0) return;
      const double owed = std::ceil(-tokens * 1e6 / static_cast<double>(bytesPerSecond));
      wait = owed >= static_cast<double>(kSliceMicroseconds) ? kSliceMicroseconds
                                                             : std::max<int64_t>(1, static_cast<int64_t>(owed));
    }
    sleep(wait);
  }
}

RateLimit& downloadRateLimit() {
  static RateLimit limit(
      [] {
        return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
      },
      [](int64_t microseconds) { std::this_thread::sleep_for(std::chrono::microseconds(microseconds)); });
  return limit;
}
