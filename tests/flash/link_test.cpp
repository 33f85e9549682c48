#include <gtest/gtest.h>

#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;
using What = VirtualSerialPort::LineEvent::What;

const LineSettings kHost{38400, 'N', 8, 1};

class Link : public ::testing::Test {
  protected:
    void SetUp() override {
        desk.start();
        desk.form->setWriteMode();
        logStart = desk.port.lineLog().size();
    }
    // The DTR and RTS changes since the test began, as (ms since t0, line, on).
    std::vector<std::tuple<int64_t, What, bool>> lineChanges(int64_t t0) const {
        std::vector<std::tuple<int64_t, What, bool>> out;
        const auto& log = desk.port.lineLog();
        for (size_t i = logStart; i < log.size(); ++i)
            if (log[i].what == What::Dtr || log[i].what == What::Rts || log[i].what == What::Break)
                out.emplace_back((log[i].timeNs - t0) / kNsPerMs, log[i].what, log[i].on);
        return out;
    }
    VirtualDesk desk;
    size_t logStart = 0;
};

// It leaves the abort flag set: an Esc after it, with no wait open, ends the program.
TEST_F(Link, ReadByteTakesTheOldestByteAndMovesTheRestDown) {
    desk.port.sendBurstToHost({7, 8, 9}, kHost);
    desk.clock.runFor(5 * kNsPerMs);
    EXPECT_EQ(desk.form->readByte(100), 7);
    EXPECT_EQ(desk.form->receiveCount, 2);
    EXPECT_EQ(desk.form->receiveBuffer[0], 8);
    EXPECT_EQ(desk.form->receiveBuffer[1], 9);
    EXPECT_TRUE(desk.form->abortFlag);
}

TEST_F(Link, ThePulsesDriveTheLinesInOrderAndForTheirTimes) {
    struct Case {
        const char* name;
        void (Form1::*pulse)();
        std::vector<std::tuple<int64_t, What, bool>> changes;
    };
    const std::vector<Case> cases = {
        {"power test",
         nullptr,
         {{0, What::Rts, false},
          {0, What::Dtr, false},
          {300, What::Dtr, true},
          {300, What::Rts, true}}},
        {"reset", &Form1::resetH8, {{0, What::Dtr, false}, {100, What::Dtr, true}}},
        {"NMI", &Form1::nmiToH8, {{0, What::Rts, false}, {2, What::Rts, true}}},
        {"break", &Form1::comBreakPulse, {{0, What::Break, true}, {300, What::Break, false}}},
        {"boot mode",
         &Form1::resetToBootMode,
         {{0, What::Dtr, false}, {3, What::Rts, false}, {103, What::Dtr, true}}},
        {"user mode",
         &Form1::resetToUserMode,
         {{0, What::Dtr, false}, {3, What::Rts, true}, {103, What::Dtr, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        logStart = desk.port.lineLog().size();
        const int64_t t0 = desk.clock.nowNs();
        if (c.pulse) {
            (desk.form.get()->*c.pulse)();
        } else {
            desk.port.setCtsLine(true);
            EXPECT_TRUE(desk.form->testH8Power());
        }
        EXPECT_EQ(lineChanges(t0), c.changes);
    }
    desk.port.setCtsLine(false);
    EXPECT_FALSE(desk.form->testH8Power());
}

TEST_F(Link, ADelayStartedInsideAnotherEndsOnItsOwnTime) {
    // A reset clicked 50 ms into the write's 300 ms delay: the reset still lasts 100 ms and
    // the outer delay still runs its full 300 ms.
    const int64_t t0 = desk.clock.nowNs();
    int64_t innerEnd = 0;
    desk.clock.schedule(50 * kNsPerMs, [&] {
        desk.form->resetH8();
        innerEnd = desk.clock.nowNs();
    });
    desk.form->waitMs(300);
    EXPECT_EQ((innerEnd - t0) / kNsPerMs, 150);
    EXPECT_EQ((desk.clock.nowNs() - t0) / kNsPerMs, 300);

    // And an inner delay that outlasts the outer one holds the outer until it returns.
    const int64_t t1 = desk.clock.nowNs();
    desk.clock.schedule(1 * kNsPerMs, [&] { desk.form->comBreakPulse(); });
    desk.form->waitMs(2);
    EXPECT_EQ((desk.clock.nowNs() - t1) / kNsPerMs, 301);
}

}  // namespace
}  // namespace quill
