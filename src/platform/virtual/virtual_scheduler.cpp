#include "platform/virtual/virtual_scheduler.h"

namespace quill {

Scheduler::Handle VirtualScheduler::schedule(int64_t delayNs, std::function<void()> fn) {
    Handle handle = next_++;
    int64_t due = now_ + (delayNs > 0 ? delayNs : 0);
    queue_.emplace(Key{due, handle}, std::move(fn));
    due_.emplace(handle, due);
    return handle;
}

void VirtualScheduler::cancel(Handle handle) {
    auto it = due_.find(handle);
    if (it == due_.end()) return;
    queue_.erase(Key{it->second, handle});
    due_.erase(it);
}

void VirtualScheduler::yieldOnce() {
    if (queue_.empty())
        throw VirtualTimeStalled("virtual time: no event is pending, so the wait can never end");
    auto it = queue_.begin();
    if (it->first.first > limitNs_)
        throw VirtualTimeStalled("virtual time: the clock passed its limit of " +
                                 std::to_string(limitNs_ / kNsPerSecond) +
                                 " s with a wait still unfinished");
    now_ = it->first.first;
    auto fn = std::move(it->second);
    due_.erase(it->first.second);
    queue_.erase(it);
    fn();
}

void VirtualScheduler::runFor(int64_t durationNs) {
    int64_t end = now_ + durationNs;
    while (!queue_.empty() && queue_.begin()->first.first <= end) yieldOnce();
    now_ = end;
}

void VirtualScheduler::runUntil(const std::function<bool()>& done) {
    while (!done()) yieldOnce();
}

void SchedulerTimer::setInterval(int milliseconds) {
    interval_ = milliseconds;
    rearm();
}

void SchedulerTimer::setEnabled(bool enabled) {
    enabled_ = enabled;
    rearm();
}

void SchedulerTimer::disarm() {
    if (pending_ != 0) scheduler_.cancel(pending_);
    pending_ = 0;
}

// Setting the interval or enabling the timer starts its count afresh, as a window timer does.
void SchedulerTimer::rearm() {
    disarm();
    if (!enabled_ || interval_ <= 0) return;
    pending_ = scheduler_.schedule(int64_t(interval_) * kNsPerMs, [this] {
        pending_ = 0;
        rearm();
        tick();
    });
}

}  // namespace quill
