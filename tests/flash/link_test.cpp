#include <gtest/gtest.h>

#include <map>

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
    // The DTR, RTS and break changes since logStart, as "ms:DTR-" (off) or "ms:RTS+" (on)
    // with the ms counted from t0.
    std::string lineChanges(int64_t t0) const {
        const std::map<What, std::string> names{
            {What::Dtr, "DTR"}, {What::Rts, "RTS"}, {What::Break, "BRK"}};
        std::string out;
        for (size_t i = logStart; i < desk.port.lineLog().size(); ++i) {
            const auto& e = desk.port.lineLog()[i];
            if (!names.contains(e.what)) continue;
            out += " " + std::to_string((e.timeNs - t0) / kNsPerMs) + ":" + names.at(e.what) +
                   (e.on ? "+" : "-");
        }
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
        const char* changes;
    };
    const Case cases[] = {
        {"power test", nullptr, " 0:RTS- 0:DTR- 300:DTR+ 300:RTS+"},
        {"reset", &Form1::resetH8, " 0:DTR- 100:DTR+"},
        {"NMI", &Form1::nmiToH8, " 0:RTS- 2:RTS+"},
        {"break", &Form1::comBreakPulse, " 0:BRK+ 300:BRK-"},
        {"boot mode", &Form1::resetToBootMode, " 0:DTR- 3:RTS- 103:DTR+"},
        {"user mode", &Form1::resetToUserMode, " 0:DTR- 3:RTS+ 103:DTR+"},
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
