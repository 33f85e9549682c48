#pragma once

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <unordered_map>

#include "platform/scheduler.h"

namespace quill {

// The monotonic clock of the running program.
class QtClock : public Clock {
  public:
    QtClock() { elapsed_.start(); }
    int64_t nowNs() const override { return elapsed_.nsecsElapsed(); }

  private:
    QElapsedTimer elapsed_;
};

// Real-time callbacks on the event loop of the user-interface thread. The virtual board and
// its serial port run on it in the programs, where each echoed byte of the boot transfer is
// a wait of about half a millisecond: on Linux a timerfd armed to the nanosecond wakes the
// loop, elsewhere a precise QTimer (millisecond steps) stands in.
class QtScheduler : public Scheduler {
  public:
    QtScheduler();
    ~QtScheduler() override;
    QtScheduler(const QtScheduler&) = delete;
    QtScheduler& operator=(const QtScheduler&) = delete;

    int64_t nowNs() const override;
    Handle schedule(int64_t delayNs, std::function<void()> fn) override;
    void cancel(Handle handle) override;
    // Number of events waiting.
    size_t pending() const { return queue_.size(); }

  private:
    void runDue();
    void arm();

    using Key = std::pair<int64_t, Handle>;
    std::map<Key, std::function<void()>> queue_;
    std::unordered_map<Handle, int64_t> due_;
    Handle next_ = 1;
    int64_t armedNs_ = -1;  // the deadline the wake-up is set for; -1: none
    int64_t startNs_ = 0;   // the monotonic time of nowNs() == 0
    int timerFd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer fallback_;
};

}  // namespace quill
