#pragma once
// The download rate the player allows: a token bucket over the body bytes of
// every transfer in the process.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "support/Mutex.h"

// Any thread may call any operation. A thread that takes more bytes than the
// bucket holds sleeps until they are paid for, in slices short enough that a
// new rate, or the limit lifted, reaches it within a fraction of a second.
class RateLimit {
 public:
  // Microseconds on a monotonic clock, and a sleep of so many microseconds.
  using Clock = std::function<int64_t()>;
  using Sleep = std::function<void(int64_t microseconds)>;
  // The longest single sleep.
  static constexpr int64_t kSliceMicroseconds = 100000;
  // A full bucket holds this long's worth of the rate, so small files pass at once.
  static constexpr int64_t kBurstMicroseconds = 100000;

  RateLimit(Clock clock, Sleep sleep);
  RateLimit(const RateLimit&) = delete;
  RateLimit& operator=(const RateLimit&) = delete;

  // Bytes per second; 0 lifts the limit, and with it what waiting threads still owe.
  void setRate(uint64_t bytesPerSecond);
  // Accounts for count body bytes; returns once the bucket has paid for them.
  void take(std::size_t count);

 private:
  void refill(int64_t now);

  Clock clock;
  Sleep sleep;
  // A leaf: nothing but the clock is called while it is held.
  Mutex lock;
  // Written under the lock; read without it too, so that an unlimited
  // transfer never waits for the lock other transfers hold.
  std::atomic<uint64_t> bytesPerSecond;
  // Bytes the bucket holds; below 0 while takers wait for their bytes.
  double tokens;
  int64_t filledAt;
};

// The limiter every transfer goes through, on the real clock; unlimited until set.
RateLimit& downloadRateLimit();
