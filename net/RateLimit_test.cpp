#include "net/RateLimit.h"

#include <gtest/gtest.h>

namespace {
// A limiter on a clock that only its own sleeps move; atSleep runs after each.
struct FakeTime {
  int64_t now = 0;
  std::function<void()> atSleep;
  RateLimit limit{[this] { return now; }, [this](int64_t microseconds) {
                    now += microseconds;
                    if (atSleep) atSleep();
                  }};
  // Takes pieces until the clock reaches `until`; returns the bytes taken.
  uint64_t feed(std::size_t piece, int64_t until) {
    uint64_t bytes = 0;
    for (; now < until; bytes += piece) limit.take(piece);
    return bytes;
  }
};

constexpr int64_t kSecond = 1000000;
}  // namespace

TEST(RateLimit, HoldsItsRateWithinATenthWhateverThePieces) {
  struct Case {
    uint64_t rate;
    std::size_t piece;
  };
  for (const Case& c : {Case{1 << 20, 8192}, Case{1 << 20, 1 << 20}, Case{50000, 8192}, Case{1000, 100}, Case{300, 8192}}) {
    FakeTime time;
    time.limit.setRate(c.rate);
    const double achieved = static_cast<double>(time.feed(c.piece, 4 * kSecond)) * kSecond / time.now;
    EXPECT_NEAR(achieved, c.rate, c.rate / 10.0) << "rate " << c.rate << ", pieces of " << c.piece;
  }
}

TEST(RateLimit, AFullBucketOrNoLimitPassesBytesWithoutWaiting) {
  FakeTime time;
  time.limit.take(1 << 30);
  time.limit.setRate(1 << 20);
  time.limit.take(100000);  // within a tenth of a second's worth
  EXPECT_EQ(time.now, 0);
}

TEST(RateLimit, ANewRateReachesTransfersAlreadyWaiting) {
  // Set from another thread while a take sleeps: lowered or raised mid-stream,
  // the rate from then on is the new one; lifted, a long wait ends at once.
  struct Case {
    uint64_t before, after;
  };
  for (const Case& c : {Case{100000, 20000}, Case{20000, 100000}, Case{1, 0}, Case{1, 1 << 20}}) {
    FakeTime time;
    time.limit.setRate(c.before);
    int64_t changedAt = -1;
    time.atSleep = [&] {
      if (changedAt < 0 && time.now >= 2 * kSecond) {
        changedAt = time.now;
        time.limit.setRate(c.after);
      }
    };
    if (c.before == 1) {
      time.limit.take(8192);  // two hours' worth at the old rate
      EXPECT_LE(time.now, changedAt + RateLimit::kSliceMicroseconds + 1) << c.after;
      continue;
    }
    time.feed(1000, 2 * kSecond);
    const int64_t start = time.now;
    const double achieved = static_cast<double>(time.feed(1000, 6 * kSecond)) * kSecond / (time.now - start);
    EXPECT_NEAR(achieved, c.after, c.after / 10.0) << c.before << " to " << c.after;
  }
}
