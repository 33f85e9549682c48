#include "platform/qt/qt_scheduler.h"

#include <algorithm>
#include <chrono>

#ifdef __linux__
#include <sys/prctl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <ctime>
#endif

namespace quill {

namespace {

int64_t monotonicNs() {
#ifdef __linux__
    // The timerfd counts on CLOCK_MONOTONIC, so the deadlines must too.
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * kNsPerSecond + ts.tv_nsec;
#else
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
#endif
}

}  // namespace

QtScheduler::QtScheduler() : startNs_(monotonicNs()) {
#ifdef __linux__
    // Linux lets a sleeping thread wake up to 50 µs late by default. On the wire a boot
    // program byte and its echo take about a millisecond at 19200 bit/s, so that slack on
    // every wake-up would add several percent to the transfer.
    prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    timerFd_ = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (timerFd_ >= 0) {
        notifier_ = std::make_unique<QSocketNotifier>(timerFd_, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            uint64_t expirations = 0;
            // Drains the expiry count so the descriptor stops being readable.
            [[maybe_unused]] ssize_t n = ::read(timerFd_, &expirations, sizeof expirations);
            armedNs_ = -1;
            runDue();
        });
        return;
    }
#endif
    fallback_.setTimerType(Qt::PreciseTimer);
    fallback_.setSingleShot(true);
    QObject::connect(&fallback_, &QTimer::timeout, &fallback_, [this] {
        armedNs_ = -1;
        runDue();
    });
}

QtScheduler::~QtScheduler() {
    notifier_.reset();
#ifdef __linux__
    if (timerFd_ >= 0) ::close(timerFd_);
#endif
}

int64_t QtScheduler::nowNs() const {
    return monotonicNs() - startNs_;
}

Scheduler::Handle QtScheduler::schedule(int64_t delayNs, std::function<void()> fn) {
    const Handle handle = next_++;
    const int64_t due = nowNs() + (delayNs > 0 ? delayNs : 0);
    queue_.emplace(Key{due, handle}, std::move(fn));
    due_.emplace(handle, due);
    if (armedNs_ < 0 || due < armedNs_) arm();
    return handle;
}

void QtScheduler::cancel(Handle handle) {
    auto it = due_.find(handle);
    if (it == due_.end()) return;
    queue_.erase(Key{it->second, handle});
    due_.erase(it);
    // A wake-up left armed for a cancelled event only finds nothing due and re-arms.
}

// Events that come due while the batch runs wait for the next wake-up, and so do events the
// batch schedules itself: a chain of zero-delay events cannot starve the window.
void QtScheduler::runDue() {
    const int64_t now = nowNs();
    const Handle firstNew = next_;
    while (!queue_.empty()) {
        auto it = queue_.begin();
        if (it->first.first > now || it->first.second >= firstNew) break;
        auto fn = std::move(it->second);
        due_.erase(it->first.second);
        queue_.erase(it);
        fn();
    }
    arm();
}

void QtScheduler::arm() {
    if (queue_.empty()) {
        armedNs_ = -1;
#ifdef __linux__
        if (timerFd_ >= 0) {
            itimerspec off{};
            timerfd_settime(timerFd_, 0, &off, nullptr);
            return;
        }
#endif
        fallback_.stop();
        return;
    }
    const int64_t due = queue_.begin()->first.first;
    armedNs_ = due;
#ifdef __linux__
    if (timerFd_ >= 0) {
        // An absolute deadline in the past fires at once; a zero one would disarm.
        const int64_t at = std::max<int64_t>(startNs_ + due, 1);
        itimerspec deadline{};
        deadline.it_value.tv_sec = at / kNsPerSecond;
        deadline.it_value.tv_nsec = at % kNsPerSecond;
        timerfd_settime(timerFd_, TFD_TIMER_ABSTIME, &deadline, nullptr);
        return;
    }
#endif
    const int64_t waitNs = std::max<int64_t>(due - nowNs(), 0);
    // Rounded up: a timer that fires early finds nothing due and only re-arms.
    fallback_.start(int((waitNs + kNsPerMs - 1) / kNsPerMs));
}

}  // namespace quill
