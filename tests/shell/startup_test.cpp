#include <gtest/gtest.h>

#include "serial/settings_text.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

// Words split at every single space. With fewer than two the fields keep their design texts,
// which are never taken as file names.
TEST(StartUp, TheFirstTwoWordsOfTheCommandLineAreTheFiles) {
    const struct {
        const char *commandLine, *boot, *user;
    } cases[] = {{"", "", ""},
                 {"a.mot", "", ""},
                 {"a.mot b.hex", "a.mot", "b.hex"},
                 {"a.mot b.hex c", "a.mot", "b.hex"},
                 {"a.mot  b.hex", "a.mot", ""},
                 {" a.mot", "", "a.mot"},
                 {"\"my file.mot\" b", "\"my", "file.mot\""}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        VirtualDesk desk(c.commandLine);
        desk.start();
        EXPECT_EQ(desk.form->bootFileName, c.boot);
        EXPECT_EQ(desk.form->userFileName, c.user);
        const bool named = std::string(c.commandLine).find(' ') != std::string::npos;
        EXPECT_EQ(desk.bootFileN.text(), named ? c.boot : "Boot Prog.");
        EXPECT_EQ(desk.hexFileN.text(), named ? c.user : "User Prog.");
    }
}

// The bottom row keeps its design captions until the first tick, which resets the screen
// once; after it the port's CTS reports drive the power indicator without a click.
TEST(StartUp, OpensThePortWithBothLinesOnAndTheFirstTickResetsTheScreenOnce) {
    VirtualDesk desk;
    desk.form->Form_Load();
    EXPECT_EQ(desk.port.transmitBufferSize(), 153);
    EXPECT_EQ(desk.port.receiveBufferSize(), 256);
    EXPECT_EQ(desk.lbComRTS.caption(), "RTS ON");
    EXPECT_EQ(desk.lbComDTR.caption(), "DTR ON");

    desk.status.insertAtCaret("design text");
    desk.clock.runFor(99 * kNsPerMs);
    EXPECT_FALSE(desk.form->startupDone);
    desk.clock.runFor(2 * kNsPerMs);
    EXPECT_TRUE(desk.form->startupDone);
    EXPECT_EQ(desk.status.text(), "");
    EXPECT_EQ(desk.status.focusCount, 1);
    EXPECT_EQ(desk.h8stat.caption(), "H8 Power OFF");
    EXPECT_EQ(desk.h8stat.backColor(), Color::hex(0xC0C0C0));

    desk.port.setCtsLine(true);
    desk.clock.runFor(kNsPerMs);
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
        if (denied) desk.port.denyAccess("dialout");
        if (!denied) desk.port.refuseOpen("No such file or directory");
        desk.start();
        EXPECT_FALSE(desk.port.isOpen());
        EXPECT_EQ(desk.status.text(),
                  denied ? "can't open COM port virtual : Permission denied\r\n" +
                               permissionAdvice({"virtual"}, "dialout") + "\r\n"
                         : "can't open COM port virtual : No such file or directory\r\n");
        // The program goes on: the settings still step.
        desk.form->cycleComSpeed();
        EXPECT_EQ(desk.lbComSpeed.caption(), "Speed 300");
        EXPECT_THROW(desk.form->Form_Unload(), ProgramEnded);
    }
}

}  // namespace
}  // namespace quill
