#include <gtest/gtest.h>

#include <stdexcept>

#include "serial/settings_text.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

TEST(ComSettings, EachCycleStepsItsTableWrapsAndAppliesAtOnce) {
    struct Case {
        void (Form1::*step)();
        RecordingLabel VirtualDesk::*label;
        std::vector<const char*> captions;  // the caption and the port's settings after each step
        std::vector<const char*> settings;
    };
    const Case cases[] = {
        {&Form1::cycleComSpeed,
         &VirtualDesk::lbComSpeed,
         {"Speed 300", "Speed 600", "Speed 1200", "Speed 2400", "Speed 4800", "Speed 9600",
          "Speed 19200", "Speed 38400"},
         {"300,N,8,1", "600,N,8,1", "1200,N,8,1", "2400,N,8,1", "4800,N,8,1", "9600,N,8,1",
          "19200,N,8,1", "38400,N,8,1"}},
        {&Form1::lbComData_Click,
         &VirtualDesk::lbComData,
         {"Data 7", "Data 6", "Data 5", "Data 8"},
         {"38400,N,7,1", "38400,N,6,1", "38400,N,5,1", "38400,N,8,1"}},
        {&Form1::cycleComParity,
         &VirtualDesk::lbComParity,
         {"Parity E", "Parity O", "Parity N"},
         {"38400,E,8,1", "38400,O,8,1", "38400,N,8,1"}},
        {&Form1::lbComStop_Click,
         &VirtualDesk::lbComStop,
         {"Stop 2", "Stop 1"},
         {"38400,N,8,2", "38400,N,8,1"}},
    };
    for (const Case& c : cases) {
        VirtualDesk desk;
        desk.start();
        RecordingLabel& label = desk.*c.label;
        for (size_t i = 0; i < c.captions.size(); ++i) {
            label.setEnabled(false);
            (desk.form.get()->*c.step)();
            EXPECT_EQ(label.caption(), c.captions[i]);
            EXPECT_TRUE(label.enabled());
            EXPECT_EQ(desk.port.settings(), c.settings[i]);
        }
    }
}

TEST(ComSettings, ARefusedCombinationIsSaidOnceAndTheLabelsKeepTheIndexes) {
    VirtualDesk desk;
    desk.start();
    desk.port.refuseSettings([](const LineSettings& s) { return s.dataBits == 7; });
    desk.form->cycleComData();
    EXPECT_EQ(desk.lbComData.caption(), "Data 7");
    EXPECT_EQ(desk.port.settings(), "38400,N,8,1");
    EXPECT_EQ(desk.status.text(),
              "COM port virtual refused the settings 38400,N,7,1 : the port does not support "
              "the settings 38400,N,7,1\r\n");
}

TEST(ComSettings, AnIndexOutsideItsTableIsAProgramError) {
    VirtualDesk desk;
    desk.start();
    desk.form->comParityIndex = -1;
    EXPECT_THROW(desk.form->applyComSettings(), std::out_of_range);
    desk.form->comParityIndex = 0;
    desk.form->comSpeedIndex = 8;
    EXPECT_THROW(desk.form->showComSettings(), std::out_of_range);
}

// The one wording of a refused open; both programs and the port list show it as it stands.
TEST(PortTexts, APermissionRefusalSaysWhichGroupToJoinAndToLogInAgain) {
    EXPECT_EQ(permissionAdvice({"/dev/ttyUSB0"}, "dialout"),
              "Only members of the group dialout may open /dev/ttyUSB0. Join it (sudo usermod -a "
              "-G dialout $USER), then log out and log in again.");
    EXPECT_EQ(permissionAdvice({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"}, "uucp"),
              "Only members of the group uucp may open /dev/ttyS0, /dev/ttyS1 and /dev/ttyUSB0. "
              "Join it (sudo usermod -a -G uucp $USER), then log out and log in again.");
    EXPECT_EQ(permissionAdvice({"/dev/ttyS0"}, ""),
              "This user may not open /dev/ttyS0, and no group gives the right to: ask the "
              "administrator of this computer for read and write access.");
}

}  // namespace
}  // namespace quill
