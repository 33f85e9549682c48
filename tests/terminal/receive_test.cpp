#include <gtest/gtest.h>

#include <vector>

#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

const LineSettings kHost{38400, 'N', 8, 1};

class Receive : public ::testing::Test {
  protected:
    void SetUp() override { desk.start(); }
    void arrive(const std::vector<uint8_t>& bytes) {
        desk.port.sendBurstToHost(bytes, kHost);
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

// In both modes; in terminal mode the beep is the only sign.
TEST_F(Receive, ALineErrorBeepsDropsWhatWaitsAndEndsTheWait) {
    int n = 0;
    for (CommEvent kind :
         {CommEvent::FramingError, CommEvent::Overrun, CommEvent::ParityError,
          CommEvent::BreakReceived, CommEvent::ReceiveBufferOverflow, CommEvent::TransmitBufferFull,
          CommEvent::OtherError, CommEvent::PortLost}) {
        SCOPED_TRACE(commEventName(kind));
        if (++n % 2) {
            desk.form->setWriteMode();
        } else {
            desk.form->setTerminalMode();
        }
        arrive({1, 2, 3});
        desk.form->abortFlag = false;
        desk.form->errorCode = 0;
        const int beeps = desk.beeper.beeps;
        desk.port.injectEvent(kind);
        desk.clock.runFor(kNsPerMs);
        EXPECT_EQ(desk.beeper.beeps, beeps + 1);
        EXPECT_EQ(desk.form->errorCode, 83);
        EXPECT_TRUE(desk.form->abortFlag);
        EXPECT_EQ(desk.form->receiveCount, 0);
        EXPECT_EQ(desk.form->receiveText, "");
    }
}

TEST_F(Receive, OtherSignalChangesDoNothing) {
    for (CommEvent kind : {CommEvent::DsrChanged, CommEvent::Ring, CommEvent::CarrierDetectChanged,
                           CommEvent::EndOfFileChar}) {
        desk.port.injectEvent(kind);
        desk.clock.runFor(kNsPerMs);
    }
    EXPECT_EQ(desk.beeper.beeps, 0);
    EXPECT_EQ(desk.form->errorCode, 0);
    EXPECT_EQ(desk.status.text(), "");
}

}  // namespace
}  // namespace quill
