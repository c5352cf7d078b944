// Decides when the log's "repaint now" requests really repaint.
//
// A command may log thousands of lines in a second. Repainting after each
// one would cost more than the work itself, and the eye cannot tell a repaint
// every message from one every 40 ms. So a request repaints at once unless the
// last repaint was less than kInterval ago; a request that was skipped is
// remembered, and Flush() at the end of a command paints the last message.
//
// A view whose repaint is slow (an edit control that lays out a long
// transcript) would still spend most of its time repainting: told what a
// repaint cost, the throttle also waits kCostShare times that long before the
// next, so repaints take at most about a fifth of the time.
#pragma once

#include <algorithm>
#include <chrono>
#include <optional>

class RepaintThrottle {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kInterval = std::chrono::milliseconds(40);
  static constexpr int kCostShare = 4;

  // A repaint was asked for at `now`. True: repaint now (and call Painted).
  bool Request(Clock::time_point now) {
    if (lastPaint_ && now - *lastPaint_ < std::max(kInterval, kCostShare * lastCost_)) {
      pending_ = true;
      return false;
    }
    return true;
  }
  // A repaint was carried out at `now`, and took `cost`.
  void Painted(Clock::time_point now, Clock::duration cost = {}) {
    lastPaint_ = now;
    lastCost_ = cost;
    pending_ = false;
  }
  // True when a request was skipped since the last repaint.
  bool Pending() const { return pending_; }

 private:
  std::optional<Clock::time_point> lastPaint_;
  Clock::duration lastCost_{};
  bool pending_ = false;
};
