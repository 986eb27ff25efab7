#include "net/RateLimit.h"

#include <gtest/gtest.h>

namespace {
constexpr int64_t kSecond = 1000000;

// A limiter on a clock that only its own sleeps move; atSleep runs after each,
// as another thread would, while a take waits.
struct FakeTime {
  int64_t now = 0;
  std::function<void()> atSleep;
  RateLimit limit{[this] { return now; }, [this](int64_t microseconds) {
                    now += microseconds;
                    if (atSleep) atSleep();
                  }};
  // The rate pieces taken from now until `until` achieve, in bytes per second.
  double feed(std::size_t piece, int64_t until) {
    const int64_t start = now;
    uint64_t bytes = 0;
    for (; now < until; bytes += piece) limit.take(piece);
    return static_cast<double>(bytes) * kSecond / static_cast<double>(now - start);
  }
};
}  // namespace

TEST(RateLimit, HoldsItsRateWithinATenthWhateverThePieces) {
  for (auto [rate, piece] : {std::pair<uint64_t, std::size_t>{1 << 20, 8192}, {1 << 20, 1 << 20}, {50000, 8192},
                             {1000, 100}, {300, 8192}}) {
    FakeTime time;
    time.limit.setRate(rate);
    EXPECT_NEAR(time.feed(piece, 4 * kSecond), rate, rate / 10.0) << "rate " << rate << ", pieces of " << piece;
  }
  FakeTime time;  // no limit, or a full bucket (a tenth of a second's worth): no wait
  time.limit.take(1 << 30);
  time.limit.setRate(1 << 20);
  time.limit.take(100000);
  EXPECT_EQ(time.now, 0);
}

TEST(RateLimit, ANewRateReachesTransfersAlreadyWaiting) {
  // Lowered or raised mid-stream, the rate from then on is the new one; raised
  // or lifted, even a two-hour wait for one piece ends within a slice.
  for (auto [before, after] : {std::pair<uint64_t, uint64_t>{100000, 20000}, {20000, 100000}, {1, 0}, {1, 1 << 20}}) {
    FakeTime time;
    time.limit.setRate(before);
    int64_t changedAt = -1;
    time.atSleep = [&, after = after] {
      if (changedAt < 0 && time.now >= 2 * kSecond) time.limit.setRate(after), changedAt = time.now;
    };
    if (before == 1) {
      time.limit.take(8192);
      EXPECT_LE(time.now, changedAt + RateLimit::kSliceMicroseconds + 1) << after;
    } else {
      time.feed(1000, 2 * kSecond);
      EXPECT_NEAR(time.feed(1000, 6 * kSecond), after, after / 10.0) << before << " to " << after;
    }
  }
}
