#include <gtest/gtest.h>

#include <QTimer>
#include <functional>
#include <vector>

#include "platform/qt/qt_scheduler.h"
#include "platform/qt/qt_timer.h"
#include "support/qt_wait.h"

namespace quill {
namespace {

using testing::runUntil;

// A timer that counts its ticks.
struct CountingTimer {
    CountingTimer() {
        timer.setTickHandler([this] {
            ++ticks;
            if (onTick) onTick();
        });
    }
    QtTimer timer;
    int ticks = 0;
    std::function<void()> onTick;
};

TEST(QtTimer, TicksOnlyWhileEnabledWithAnInterval) {
    CountingTimer zero, disabled, running, reference;
    zero.timer.setInterval(0);
    zero.timer.setEnabled(true);
    disabled.timer.setInterval(1);
    running.timer.setInterval(1);
    running.timer.setEnabled(true);
    reference.timer.setInterval(20);
    reference.timer.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return reference.ticks >= 3; }));
    EXPECT_EQ(zero.ticks, 0);
    EXPECT_EQ(disabled.ticks, 0);
    EXPECT_GE(running.ticks, 3);
    EXPECT_TRUE(zero.timer.enabled());
    EXPECT_EQ(running.timer.interval(), 1);
}

TEST(QtTimer, ATickThatDisablesItsTimerIsTheLast) {
    CountingTimer once, reference;
    once.onTick = [&] { once.timer.setEnabled(false); };
    once.timer.setInterval(1);
    once.timer.setEnabled(true);
    reference.timer.setInterval(30);
    reference.timer.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return reference.ticks >= 2; }));
    EXPECT_EQ(once.ticks, 1);
    EXPECT_FALSE(once.timer.enabled());
}

TEST(QtTimer, AnIntervalGivenLaterStartsAnEnabledTimer) {
    // Timer3's way: enabled at design with interval 0, a wait gives it an interval.
    CountingTimer timer;
    timer.timer.setEnabled(true);
    timer.timer.setInterval(2);
    ASSERT_TRUE(runUntil([&] { return timer.ticks >= 2; }));
    timer.timer.setInterval(0);
    const int ticks = timer.ticks;
    CountingTimer reference;
    reference.timer.setInterval(20);
    reference.timer.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return reference.ticks >= 2; }));
    EXPECT_EQ(timer.ticks, ticks);
}

TEST(QtScheduler, RunsEventsInTheOrderOfTheirTimes) {
    QtScheduler scheduler;
    std::vector<int> order;
    scheduler.schedule(3 * kNsPerMs, [&] { order.push_back(3); });
    scheduler.schedule(1 * kNsPerMs, [&] { order.push_back(1); });
    scheduler.schedule(200'000, [&] { order.push_back(0); });
    scheduler.schedule(2 * kNsPerMs, [&] { order.push_back(2); });
    ASSERT_TRUE(runUntil([&] { return order.size() == 4; }));
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(scheduler.pending(), 0u);
}

TEST(QtScheduler, ACancelledEventNeverRuns) {
    QtScheduler scheduler;
    bool cancelledRan = false;
    bool laterRan = false;
    auto handle = scheduler.schedule(kNsPerMs, [&] { cancelledRan = true; });
    scheduler.schedule(3 * kNsPerMs, [&] { laterRan = true; });
    scheduler.cancel(handle);
    scheduler.cancel(handle);  // a second cancel is harmless
    ASSERT_TRUE(runUntil([&] { return laterRan; }));
    EXPECT_FALSE(cancelledRan);
}

TEST(QtScheduler, EventsRunNoEarlierThanDueAndMayScheduleMore) {
    QtScheduler scheduler;
    // A chain of short steps, like the characters of a fast line: each runs at or after its
    // time and schedules the next.
    int64_t lastDue = 0;
    int steps = 0;
    bool early = false;
    std::function<void()> step = [&] {
        if (scheduler.nowNs() < lastDue) early = true;
        if (++steps < 200) {
            lastDue = scheduler.nowNs() + 100'000;
            scheduler.schedule(100'000, step);
        }
    };
    lastDue = scheduler.nowNs();
    scheduler.schedule(0, step);
    ASSERT_TRUE(runUntil([&] { return steps == 200; }));
    EXPECT_FALSE(early);
}

TEST(QtScheduler, AZeroDelayChainLetsTheWindowRun) {
    QtScheduler scheduler;
    // An event that keeps scheduling itself at once must not keep the loop to itself.
    std::function<void()> again = [&] { scheduler.schedule(0, again); };
    scheduler.schedule(0, again);
    CountingTimer window;
    window.timer.setInterval(1);
    window.timer.setEnabled(true);
    ASSERT_TRUE(runUntil([&] { return window.ticks >= 3; }));
}

TEST(QtClock, NeverGoesBack) {
    QtClock clock;
    int64_t last = clock.nowNs();
    for (int i = 0; i < 1000; ++i) {
        const int64_t now = clock.nowNs();
        ASSERT_GE(now, last);
        last = now;
    }
}

}  // namespace
}  // namespace quill
