#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "platform/scheduler.h"
#include "platform/timer.h"

namespace quill {

// Thrown when virtual time cannot go on: no event is pending while a wait is unfinished, or
// the clock has passed its limit. A test that hits it has found a wait that never ends.
class VirtualTimeStalled : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// A clock that jumps from one event to the next. Its yield runs the next due event, so a
// 30-second time-out costs microseconds of real time.
class VirtualScheduler : public Scheduler, public Yield {
  public:
    int64_t nowNs() const override { return now_; }
    Handle schedule(int64_t delayNs, std::function<void()> fn) override;
    void cancel(Handle handle) override;

    // Runs the next event; throws VirtualTimeStalled when there is none or the limit is past.
    void yieldOnce() override;
    // Runs every event due up to now + durationNs, then sets the clock there.
    void runFor(int64_t durationNs);
    // Runs events until done() holds; throws VirtualTimeStalled on a stall.
    void runUntil(const std::function<bool()>& done);
    bool idle() const { return queue_.empty(); }
    // No event beyond this time is run (default: one hour of virtual time).
    void setTimeLimitNs(int64_t limit) { limitNs_ = limit; }

  private:
    using Key = std::pair<int64_t, Handle>;
    std::map<Key, std::function<void()>> queue_;
    std::unordered_map<Handle, int64_t> due_;
    Handle next_ = 1;
    int64_t now_ = 0;
    int64_t limitNs_ = 3600 * kNsPerSecond;
};

// A window timer on any scheduler: virtual time in the tests, real time for the board.
class SchedulerTimer : public Timer {
  public:
    explicit SchedulerTimer(Scheduler& scheduler) : scheduler_(scheduler) {}
    ~SchedulerTimer() override { disarm(); }
    void setInterval(int milliseconds) override;
    int interval() const override { return interval_; }
    void setEnabled(bool enabled) override;
    bool enabled() const override { return enabled_; }

  private:
    void rearm();
    void disarm();
    Scheduler& scheduler_;
    int interval_ = 0;
    bool enabled_ = false;
    Scheduler::Handle pending_ = 0;
};

}  // namespace quill
