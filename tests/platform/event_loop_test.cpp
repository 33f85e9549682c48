#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_timer.h"
#include "support/qt_wait.h"

namespace quill {
namespace {

using testing::runUntil;

struct CountingTimer {
    CountingTimer(int interval, bool enabled) {
        timer.setTickHandler([this] {
            ++ticks;
            onTick();
        });
        timer.setInterval(interval);
        timer.setEnabled(enabled);
    }
    QtTimer timer;
    int ticks = 0;
    std::function<void()> onTick = [] {};
};

// A slow reference timer bounds the wait: a timer that should stay silent has had many of its
// own intervals to tick by then.
TEST(QtTimer, TicksOnlyWhileEnabledWithAnIntervalAndStopsWhenItsTickDisablesIt) {
    CountingTimer zero(0, true), disabled(1, false), once(1, true), reference(20, true),
        stopped(1, true);
    once.onTick = [&] { once.timer.setEnabled(false); };
    stopped.timer.setInterval(0);  // an interval of 0 stops a running timer
    ASSERT_TRUE(runUntil([&] { return reference.ticks >= 3; }));
    for (const CountingTimer* silent : {&zero, &disabled, &stopped}) EXPECT_EQ(silent->ticks, 0);
    EXPECT_EQ(once.ticks, 1);
    EXPECT_FALSE(once.timer.enabled());

    // An enabled timer waits for an interval: the program's way of arming a wait.
    zero.timer.setInterval(2);
    ASSERT_TRUE(runUntil([&] { return zero.ticks >= 2; }));
}

TEST(QtScheduler, RunsEventsInTimeOrderNoEarlierThanDueAndFairly) {
    QtScheduler scheduler;
    std::vector<int> order;
    bool early = false;
    std::function<Scheduler::Handle(int64_t, int)> at = [&](int64_t delay, int id) {
        const int64_t due = scheduler.nowNs() + delay;
        return scheduler.schedule(delay, [&, due, id] {
            early = early || scheduler.nowNs() < due;
            order.push_back(id);
            // A chain of short steps, like the characters of a fast line.
            if (id >= 10 && id < 200) at(100'000, id + 1);
        });
    };
    at(3 * kNsPerMs, 3);
    // Not due while the test runs, however slow the machine: the shorter delays may have
    // passed before the loop looks, this one cannot.
    const auto late = at(600 * kNsPerSecond, -1);
    at(kNsPerMs, 1);
    at(200'000, 0);
    at(2 * kNsPerMs, 2);
    ASSERT_TRUE(runUntil([&] { return order.size() >= 4; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(scheduler.pending(), 1u);
    scheduler.cancel(late);
    at(0, 10);
    ASSERT_TRUE(runUntil([&] { return order.back() == 200; }));
    EXPECT_FALSE(early);

    // An event that keeps scheduling itself at once must still let the window's timers run.
    std::function<void()> again = [&] { scheduler.schedule(0, again); };
    scheduler.schedule(0, again);
    CountingTimer window(1, true);
    ASSERT_TRUE(runUntil([&] { return window.ticks >= 3; }));
}

}  // namespace
}  // namespace quill
