#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "serial/settings_text.h"
#include "support/virtual_desk.h"

namespace quill {
namespace {

using testing::VirtualDesk;

struct CycleCase {
    const char* name;
    std::function<void(Form1&)> step;
    Label VirtualDesk::*label;
    std::vector<std::string> captions;  // after each step
    std::vector<std::string> settings;  // after each step
};

TEST(ComSettings, EachCycleStepsItsTableWrapsAndAppliesAtOnce) {
    const std::vector<CycleCase> cases = {
        {"speed",
         [](Form1& f) { f.cycleComSpeed(); },
         nullptr,
         {"Speed 300", "Speed 600", "Speed 1200", "Speed 2400", "Speed 4800", "Speed 9600",
          "Speed 19200", "Speed 38400"},
         {"300,N,8,1", "600,N,8,1", "1200,N,8,1", "2400,N,8,1", "4800,N,8,1", "9600,N,8,1",
          "19200,N,8,1", "38400,N,8,1"}},
        {"data",
         [](Form1& f) { f.lbComData_Click(); },
         nullptr,
         {"Data 7", "Data 6", "Data 5", "Data 8"},
         {"38400,N,7,1", "38400,N,6,1", "38400,N,5,1", "38400,N,8,1"}},
        {"parity",
         [](Form1& f) { f.cycleComParity(); },
         nullptr,
         {"Parity E", "Parity O", "Parity N"},
         {"38400,E,8,1", "38400,O,8,1", "38400,N,8,1"}},
        {"stop",
         [](Form1& f) { f.lbComStop_Click(); },
         nullptr,
         {"Stop 2", "Stop 1"},
         {"38400,N,8,2", "38400,N,8,1"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        VirtualDesk desk;
        desk.start();
        RecordingLabel* label = std::string(c.name) == "speed"    ? &desk.lbComSpeed
                                : std::string(c.name) == "data"   ? &desk.lbComData
                                : std::string(c.name) == "parity" ? &desk.lbComParity
                                                                  : &desk.lbComStop;
        for (size_t i = 0; i < c.captions.size(); ++i) {
            label->setEnabled(false);
            c.step(*desk.form);
            EXPECT_EQ(label->caption(), c.captions[i]);
            EXPECT_TRUE(label->enabled());
            EXPECT_EQ(desk.port.settings(), c.settings[i]);
        }
    }
}

TEST(ComSettings, OneStepOfDataParityAndStopGives38400E72) {
    VirtualDesk desk;
    desk.start();
    desk.form->cycleComData();
    desk.form->cycleComParity();
    desk.form->cycleComStop();
    EXPECT_EQ(desk.port.settings(), "38400,E,7,2");
}

TEST(ComSettings, LabelsChangeBeforeThePort) {
    VirtualDesk desk;
    desk.start();
    // A refused combination leaves the labels on the new indexes and says so once.
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

TEST(LineLabels, RtsAndDtrToggleWithTheirCaptions) {
    VirtualDesk desk;
    desk.start();
    desk.form->lbComRTS_Click();
    EXPECT_FALSE(desk.port.rts());
    EXPECT_EQ(desk.lbComRTS.caption(), "RTS OFF");
    desk.form->lbComRTS_Click();
    EXPECT_TRUE(desk.port.rts());
    EXPECT_EQ(desk.lbComRTS.caption(), "RTS ON");
    desk.form->lbComDTR_Click();
    EXPECT_FALSE(desk.port.dtr());
    EXPECT_EQ(desk.lbComDTR.caption(), "DTR OFF");
    desk.form->lbComDTR_Click();
    EXPECT_TRUE(desk.port.dtr());
    EXPECT_EQ(desk.lbComDTR.caption(), "DTR ON");
}

TEST(SettingsText, ParityComesBeforeTheDataBits) {
    EXPECT_EQ(settingsText("9600", "E", "7", "2"), "9600,E,7,2");
    EXPECT_EQ(nextIndex(7, 8), 0);
    EXPECT_EQ(nextIndex(0, 2), 1);
}

}  // namespace
}  // namespace quill
