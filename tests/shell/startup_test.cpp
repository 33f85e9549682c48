#include <gtest/gtest.h>

#include "serial/settings_text.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

struct ArgumentCase {
    const char* commandLine;
    int count;
    const char* boot;
    const char* user;
};

class GetArgument : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(GetArgument, SplitsAtEverySingleSpace) {
    const auto& c = GetParam();
    VirtualDesk desk(c.commandLine);
    desk.start();
    EXPECT_EQ(desk.form->bootFileName, c.boot);
    EXPECT_EQ(desk.form->userFileName, c.user);
    std::string a = "x", b = "y";
    EXPECT_EQ(desk.form->getArgument(a, b), c.count);
    // With fewer than two words the fields keep their design texts, which are never taken
    // as file names.
    EXPECT_EQ(desk.bootFileN.text(), c.count >= 2 ? c.boot : "Boot Prog.");
    EXPECT_EQ(desk.hexFileN.text(), c.count >= 2 ? c.user : "User Prog.");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, GetArgument,
    ::testing::Values(ArgumentCase{"", 0, "", ""}, ArgumentCase{"a.mot", 1, "", ""},
                      ArgumentCase{"a.mot b.hex", 2, "a.mot", "b.hex"},
                      ArgumentCase{"a.mot b.hex c", 3, "a.mot", "b.hex"},
                      ArgumentCase{"a.mot  b.hex", 3, "a.mot", ""},
                      ArgumentCase{" a.mot", 2, "", "a.mot"},
                      ArgumentCase{"\"my file.mot\" b", 3, "\"my", "file.mot\""}));

TEST(StartUp, OpensThePortWithBothLinesOnAtTheStartSettings) {
    VirtualDesk desk;
    desk.form->Form_Load();
    EXPECT_TRUE(desk.port.isOpen());
    EXPECT_TRUE(desk.port.dtr());
    EXPECT_TRUE(desk.port.rts());
    EXPECT_EQ(desk.port.settings(), "38400,N,8,1");
    EXPECT_EQ(desk.port.portNumber(), 1);
    EXPECT_EQ(desk.port.transmitBufferSize(), 153);
    EXPECT_EQ(desk.port.receiveBufferSize(), 256);
    EXPECT_EQ(desk.lbComRTS.caption(), "RTS ON");
    EXPECT_EQ(desk.lbComDTR.caption(), "DTR ON");
    // Before the first tick the bottom row keeps its design captions.
    EXPECT_EQ(desk.lbComParity.caption(), "Parity NON");
    EXPECT_EQ(desk.h8stat.caption(), "H8 Power OFF");
    EXPECT_EQ(desk.lbComCTS.caption(), "CTS");
    EXPECT_FALSE(desk.form->startupDone);
}

TEST(StartUp, FirstTickResetsTheScreenOnce) {
    VirtualDesk desk;
    desk.port.setCtsLine(true);
    desk.form->Form_Load();
    desk.status.insertAtCaret("design text");
    desk.clock.runFor(99 * kNsPerMs);
    EXPECT_FALSE(desk.form->startupDone);
    desk.clock.runFor(2 * kNsPerMs);
    EXPECT_TRUE(desk.form->startupDone);
    EXPECT_EQ(desk.status.text(), "");
    EXPECT_EQ(desk.status.focusCount, 1);
    EXPECT_EQ(desk.status.textColor(), Color::hex(0x000080));
    EXPECT_EQ(desk.lbComSpeed.caption(), "Speed 38400");
    EXPECT_EQ(desk.lbComData.caption(), "Data 8");
    EXPECT_EQ(desk.lbComParity.caption(), "Parity N");
    EXPECT_EQ(desk.lbComStop.caption(), "Stop 1");
    EXPECT_EQ(desk.h8stat.caption(), "H8 Power ON");
    // Later ticks keep coming and do nothing.
    desk.status.insertAtCaret("kept");
    desk.clock.runFor(1000 * kNsPerMs);
    EXPECT_EQ(desk.status.text(), "kept");
    EXPECT_EQ(desk.status.focusCount, 1);
    EXPECT_TRUE(desk.timer1.enabled());
}

TEST(StartUp, APortThatWillNotOpenIsNamedAfterTheScreenResetWithTheFixForAPermission) {
    for (bool denied : {false, true}) {
        VirtualDesk desk;
        if (denied) {
            desk.port.denyAccess("dialout");
        } else {
            desk.port.refuseOpen("No such file or directory");
        }
        desk.start();
        EXPECT_FALSE(desk.port.isOpen());
        EXPECT_EQ(desk.status.text(),
                  denied ? "can't open COM port virtual : Permission denied\r\n" +
                               permissionAdvice({"virtual"}, "dialout") + "\r\n"
                         : "can't open COM port virtual : No such file or directory\r\n");
        // The program goes on: the settings still step.
        desk.form->cycleComSpeed();
        EXPECT_EQ(desk.lbComSpeed.caption(), "Speed 300");
    }
}

TEST(Shutdown, ClosesAnOpenPortAndEndsTheProgram) {
    for (bool open : {true, false}) {
        VirtualDesk desk;
        if (!open) desk.port.refuseOpen("busy");
        desk.start();
        EXPECT_THROW(desk.form->Form_Unload(), ProgramEnded);
        EXPECT_TRUE(desk.programEnd.ended);
        EXPECT_FALSE(desk.port.isOpen());
    }
}

}  // namespace
}  // namespace quill
