#include <gtest/gtest.h>

#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

TEST(PowerIndicator, FollowsCtsOnEveryRefresh) {
    VirtualDesk desk;
    desk.start();
    EXPECT_EQ(desk.h8stat.caption(), "H8 Power OFF");
    EXPECT_EQ(desk.h8stat.backColor(), Color::hex(0xC0C0C0));
    EXPECT_EQ(desk.lbComCTS.caption(), "CTS OFF");

    // Power coming up is reported by the port; no click is needed.
    desk.port.setCtsLine(true);
    desk.clock.runFor(kNsPerMs);
    EXPECT_EQ(desk.h8stat.caption(), "H8 Power ON");
    EXPECT_EQ(desk.h8stat.backColor(), Color::hex(0x00C000));
    EXPECT_EQ(desk.lbComCTS.caption(), "CTS ON");
    // A click refreshes from the line even when nothing reported a change: the desktop tests.
}

TEST(ConsoleModes, WriteModeIsBlackAndTerminalModeDarkBlueWithLabelsRefreshed) {
    VirtualDesk desk;
    desk.start();
    desk.form->setWriteMode();
    EXPECT_FALSE(desk.form->terminalMode);
    EXPECT_EQ(desk.status.textColor(), Color::hex(0x000000));
    desk.form->comSpeedIndex = 3;
    desk.form->setTerminalMode();
    EXPECT_TRUE(desk.form->terminalMode);
    EXPECT_EQ(desk.status.textColor(), Color::hex(0x000080));
    EXPECT_EQ(desk.lbComSpeed.caption(), "Speed 2400");
}

}  // namespace
}  // namespace quill
