#include "mqtt/reconnect_schedule.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

namespace kestova {
namespace {

using std::chrono::milliseconds;

TEST(ReconnectSchedule, OneTwoFourEightSecondsThenTheIntervalNeverLonger) {
  struct TCase {
    uint32_t Interval;
    std::vector<int64_t> Waits;  // after 1, 2, ... failed attempts, in ms
  };
  const TCase cases[] = {
      {10, {1000, 2000, 4000, 8000, 10000, 10000}},
      {30, {1000, 2000, 4000, 8000, 30000, 30000}},
      {3, {1000, 2000, 3000, 3000, 3000}},
      {0, {0, 0, 0}},
  };
  for (const auto& c : cases) {
    for (std::size_t i = 0; i < c.Waits.size(); ++i) {
      EXPECT_EQ(TMqttReconnectSchedule::NominalDelay(static_cast<int>(i) + 1, c.Interval).count(), c.Waits[i])
          << "interval " << c.Interval << ", attempt " << i + 1;
    }
  }
}

TEST(ReconnectSchedule, EveryWaitCarriesItsOwnJitterOfAtMostTwentyPercent) {
  TMqttReconnectSchedule schedule(7);
  std::set<int64_t> seen;
  for (int i = 0; i < 200; ++i) {
    const milliseconds wait = schedule.Delay(5, 10);
    EXPECT_GE(wait.count(), 8000);
    EXPECT_LE(wait.count(), 12000);
    seen.insert(wait.count());
  }
  // Spread over the range, not a fixed offset: displays restarted together drift apart.
  EXPECT_GT(seen.size(), 100u);
  EXPECT_LT(*seen.begin(), 8500);
  EXPECT_GT(*seen.rbegin(), 11500);
}

}  // namespace
}  // namespace kestova
