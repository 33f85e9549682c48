#include <gtest/gtest.h>

#include <vector>

#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

class Receive : public ::testing::Test {
  protected:
    void SetUp() override { desk.start(); }
    void arrive(const std::vector<uint8_t>& bytes) {
        desk.port.sendBurstToHost(bytes, {38400, 'N', 8, 1});
        desk.clock.runFor(200 * kNsPerMs);
    }
    VirtualDesk desk;
};

TEST_F(Receive, TerminalShowsTheBytesAndEmptiesTheBuffer) {
    arrive({'O', 'K', 13, 10});
    EXPECT_EQ(desk.status.text(), "OK\r\n.");
    arrive({'>'});
    EXPECT_EQ(desk.status.text(), "OK\r\n.>");
    EXPECT_TRUE(desk.form->promptSeen);
    EXPECT_EQ(desk.form->receiveCount, 0);
    EXPECT_EQ(desk.form->receiveText, "");
}

TEST_F(Receive, MoreThan255CharactersEndTheWaitAndTheBufferNeverOverflows) {
    desk.form->setWriteMode();
    desk.form->abortFlag = false;
    desk.timer3.setInterval(30000);
    desk.timer3.setEnabled(true);
    arrive(std::vector<uint8_t>(255, 'x'));
    EXPECT_FALSE(desk.form->abortFlag);
    arrive(std::vector<uint8_t>(45, 'x'));
    EXPECT_EQ(desk.form->errorCode, 82);
    EXPECT_TRUE(desk.form->abortFlag);
    EXPECT_FALSE(desk.timer3.enabled());
    EXPECT_EQ(desk.form->receiveCount, 256);
    EXPECT_EQ(desk.form->receiveText.size(), 300u);
}

// A line error, in both modes, beeps (in terminal mode the only sign), drops what waits and
// ends the wait; the other signal changes do nothing.
TEST_F(Receive, ALineErrorBeepsDropsWhatWaitsAndEndsTheWait) {
    using enum CommEvent;
    int n = 0;
    for (CommEvent kind : {FramingError, Overrun, ParityError, BreakReceived, ReceiveBufferOverflow,
                           TransmitBufferFull, OtherError, PortLost, DsrChanged, Ring,
                           CarrierDetectChanged, EndOfFileChar}) {
        SCOPED_TRACE(commEventName(kind));
        const bool error = n < 8;
        if (++n % 2) {
            desk.form->setWriteMode();
        } else {
            desk.form->setTerminalMode();
        }
        arrive({1, 2, 3});
        desk.form->abortFlag = false;
        desk.form->errorCode = 0;
        const int beeps = desk.beeper.beeps;
        const size_t waiting = desk.form->receiveText.size();
        const std::string shown = desk.status.text();
        desk.port.injectEvent(kind);
        desk.clock.runFor(kNsPerMs);
        EXPECT_EQ(desk.beeper.beeps, beeps + error);
        EXPECT_EQ(desk.form->errorCode, error ? 83 : 0);
        EXPECT_EQ(desk.form->abortFlag, error);
        EXPECT_EQ(desk.form->receiveCount, error ? 0 : int(waiting));
        EXPECT_EQ(desk.form->receiveText.size(), error ? 0 : waiting);
        EXPECT_TRUE(error || desk.status.text() == shown) << desk.status.text();
    }
}

}  // namespace
}  // namespace quill
