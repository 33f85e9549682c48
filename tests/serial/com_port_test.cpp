#include <gtest/gtest.h>

#include <stdexcept>

#include "serial/settings_text.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

// Each cycle steps its table, wraps and applies at once. A refused combination is said once
// and the labels keep the indexes; an index outside its table is a program error.
TEST(ComSettings, EachCycleStepsItsTableAndARefusedCombinationIsSaidOnce) {
    struct Case {
        void (Form1::*step)();
        RecordingLabel VirtualDesk::*label;
        const char* name;                  // the caption is the name and the value
        size_t field;                      // the value's place in "38400,N,8,1"
        std::vector<const char*> values;   // after each step
    };
    const Case cases[] = {
        {&Form1::cycleComSpeed, &VirtualDesk::lbComSpeed, "Speed", 0,
         {"300", "600", "1200", "2400", "4800", "9600", "19200", "38400"}},
        {&Form1::lbComData_Click, &VirtualDesk::lbComData, "Data", 2, {"7", "6", "5", "8"}},
        {&Form1::cycleComParity, &VirtualDesk::lbComParity, "Parity", 1, {"E", "O", "N"}},
        {&Form1::lbComStop_Click, &VirtualDesk::lbComStop, "Stop", 3, {"2", "1"}},
    };
    VirtualDesk desk;
    desk.start();
    for (const Case& c : cases) {
        RecordingLabel& label = desk.*c.label;
        for (const char* value : c.values) {
            std::vector<std::string> settings{"38400", "N", "8", "1"};
            settings[c.field] = value;
            label.setEnabled(false);
            (desk.form.get()->*c.step)();
            EXPECT_EQ(label.caption(), std::string(c.name) + " " + value);
            EXPECT_TRUE(label.enabled());
            EXPECT_EQ(desk.port.settings(),
                      settings[0] + "," + settings[1] + "," + settings[2] + "," + settings[3]);
        }
    }
    desk.port.refuseSettings([](const LineSettings& s) { return s.dataBits == 7; });
    desk.form->cycleComData();
    EXPECT_EQ(desk.lbComData.caption(), "Data 7");
    EXPECT_EQ(desk.port.settings(), "38400,N,8,1");
    EXPECT_EQ(desk.status.text(),
              "COM port virtual refused the settings 38400,N,7,1 : the port does not support "
              "the settings 38400,N,7,1\r\n");
    desk.form->comParityIndex = -1;
    EXPECT_THROW(desk.form->applyComSettings(), std::out_of_range);
    desk.form->comParityIndex = 0;
    desk.form->comSpeedIndex = 8;
    EXPECT_THROW(desk.form->showComSettings(), std::out_of_range);
}

// The one wording of a refused open; both programs and the port list show it as it stands.
TEST(PortTexts, APermissionRefusalSaysWhichGroupToJoinAndToLogInAgain) {
    EXPECT_EQ(permissionAdvice({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}, "uucp"),
              "Only members of the group uucp may open /dev/ttyS0, /dev/ttyS1 and /dev/ttyUSB0. "
              "Join it (sudo usermod -a -G uucp $USER), then log out and log in again.");
    EXPECT_EQ(permissionAdvice({"/dev/ttyS0"}, ""),
              "This user may not open /dev/ttyS0, and no group gives the right to: ask the "
              "administrator of this computer for read and write access.");
}

}  // namespace
}  // namespace quill
