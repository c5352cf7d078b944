#include "ui/repaint_throttle.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

struct ThrottleCase {
  const char* name;
  std::vector<int> requestsAtMs;  // each request repaints when asked to
  std::vector<bool> repaints;
  bool pendingAfter;
};

class RepaintThrottleTest : public ::testing::TestWithParam<ThrottleCase> {};

TEST_P(RepaintThrottleTest, RepaintsAtMostEveryFortyMillisecondsAndRemembersTheRest) {
  const ThrottleCase& c = GetParam();
  RepaintThrottle throttle;
  const RepaintThrottle::Clock::time_point start{};
  std::vector<bool> repaints;
  for (int ms : c.requestsAtMs) {
    const auto now = start + milliseconds(ms);
    const bool repaint = throttle.Request(now);
    if (repaint) throttle.Painted(now);
    repaints.push_back(repaint);
  }
  EXPECT_EQ(repaints, c.repaints);
  EXPECT_EQ(throttle.Pending(), c.pendingAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, RepaintThrottleTest,
    ::testing::Values(
        ThrottleCase{"FirstRequestPaints", {0}, {true}, false},
        ThrottleCase{"BurstPaintsOnceAndLeavesTheLastPending", {0, 1, 20, 39}, {true, false, false, false}, true},
        ThrottleCase{"FortyMillisecondsLaterPaintsAgain", {0, 39, 40}, {true, false, true}, false},
        ThrottleCase{"SlowMessagesAllPaint", {0, 50, 100, 500}, {true, true, true, true}, false},
        ThrottleCase{"IntervalCountsFromTheLastPaintNotTheLastRequest", {0, 30, 60, 75}, {true, false, true, false},
                     true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
