#include <gtest/gtest.h>

#include "support/board_desk.h"

namespace quill {
namespace {

using testing::BoardDesk;

TEST(Reentrance, EscDuringAFixedDelayEndsTheProgram) {
    BoardDesk b;
    b.start();
    // 200 ms into the write the power test's 300 ms delay runs: no response wait is open.
    b.desk->clock.schedule(350 * kNsPerMs, [&] {
        int16_t esc = 27, shift = 0;
        b.form().Form_KeyDown(esc, shift);
    });
    EXPECT_THROW(b.write(), ProgramEnded);
    EXPECT_FALSE(b.form().writeBusy);
}

// A device that goes away mid-write ends the write as a line error; while it is away the
// indicator shows OFF and a write fails on the power test; once back, with the lines the
// program last set, the next write succeeds.
TEST(SoundBehaviour, APortLostDuringAWriteFailsItAndComesBackForTheNext) {
    for (const char* when : {"erase", "block:2"}) {
        SCOPED_TRACE(when);
        BoardDesk b(std::string("port-back=1500,port-lost=") + when);
        b.start();
        b.write();
        std::string log = b.desk->status.text();
        EXPECT_NE(log.find("\r\nCOM port virtual lost : device disconnected ; trying to reopen it "
                           "every second\r\n ? [ 83 ] COM receive error !\r\n (Failure)\r\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(b.desk->beeper.beeps, 1);
        EXPECT_TRUE(b.desk->port.lost());
        EXPECT_EQ(b.desk->h8stat.caption(), "H8 Power OFF");
        EXPECT_EQ(b.desk->lbComCTS.caption(), "CTS OFF");

        b.write();
        EXPECT_NE(b.desk->status.text().find(" ? [ 21 ] H8 Power is OFF !"), std::string::npos);
        const std::string settings = b.desk->port.settings();
        b.desk->clock.runFor(2 * kNsPerSecond);
        EXPECT_FALSE(b.desk->port.lost());
        log = b.desk->status.text();
        EXPECT_NE(
            log.find("(Failure)\r\nCOM port virtual is back : " + settings + " RTS ON DTR ON\r\n"),
            std::string::npos)
            << log;
        EXPECT_EQ(b.desk->h8stat.caption(), "H8 Power ON");
        // The board saw DTR and RTS come back on: released into its user program.
        EXPECT_EQ(b.board->state(), sim::Board::State::User);

        b.write();
        EXPECT_NE(b.desk->status.text().find("(Success)"), std::string::npos);
        EXPECT_EQ(b.flash(), b.expectedFlash());
    }
}

// Between writes: the settings and line states the user chose are the ones the device gets
// back, and the console says so.
TEST(SoundBehaviour, APortLostInTerminalModeComesBackWithTheUsersLineState) {
    BoardDesk b("port-lost=1000,port-back=2500");
    b.start();
    b.form().cycleComSpeed();
    b.form().lbComRTS_Click();
    b.desk->status.insertAtCaret("typed text without a line end");
    b.desk->clock.runFor(1500 * kNsPerMs);
    EXPECT_EQ(b.desk->h8stat.caption(), "H8 Power OFF");
    EXPECT_TRUE(b.form().terminalMode);
    b.desk->clock.runFor(2 * kNsPerSecond);
    EXPECT_TRUE(b.desk->port.lost());  // tried at 2 s and 3 s: still away
    EXPECT_FALSE(b.desk->port.isOpen());
    b.desk->clock.runFor(kNsPerSecond);
    EXPECT_TRUE(b.desk->port.isOpen());
    EXPECT_EQ(b.desk->status.text(),
              "typed text without a line end\r\nCOM port virtual lost : device disconnected ; "
              "trying to reopen it every second\r\nCOM port virtual is back : 300,N,8,1 RTS OFF "
              "DTR ON\r\n");
    EXPECT_EQ(b.desk->port.lineSettings(), (LineSettings{300, 'N', 8, 1}));
    const auto& lines = b.desk->port.lineLog();
    ASSERT_EQ(lines.back().what, VirtualSerialPort::LineEvent::What::Open);
    EXPECT_EQ(lines.back().timeNs, 4000 * kNsPerMs);
    EXPECT_EQ(b.desk->h8stat.caption(), "H8 Power ON");
    EXPECT_EQ(b.desk->beeper.beeps, 1);
}

}  // namespace
}  // namespace quill
