#pragma once

// A whole program on the virtual-time platform: Form1 with recording controls, the timers
// on a virtual clock and a virtual serial port whose far end a test (or the virtual board)
// drives.

#include <memory>
#include <string>
#include <utility>

#include "platform/virtual/recording_controls.h"
#include "platform/virtual/virtual_scheduler.h"
#include "platform/virtual/virtual_serial_port.h"
#include "shell/form1.h"

namespace quill::testing {

struct VirtualDesk {
    VirtualScheduler clock;
    SchedulerTimer timer1{clock}, timer3{clock}, timer4{clock};
    VirtualSerialPort port{clock, "virtual"};
    RecordingConsole status;
    RecordingTextField hexFileN, bootFileN;
    RecordingButton cbWrite;
    RecordingLabel h8stat, lbComSpeed, lbComData, lbComParity, lbComStop, lbComRTS, lbComDTR,
        lbComCTS;
    ScriptedFileDialog dialog;
    RecordingMessageBox messageBox;
    CountingBeeper beeper;
    ProgramEndThrows programEnd;
    RecordingHelpWindow help;
    RefusingTextFileSlot fileSlot;
    std::unique_ptr<Form1> form;

    explicit VirtualDesk(const std::string& commandLine = "") {
        // The window's design state, before Form_Load touches anything.
        hexFileN.setText("User Prog.");
        bootFileN.setText("Boot Prog.");
        const std::pair<RecordingLabel*, const char*> captions[] = {
            {&h8stat, "H8 Power OFF"}, {&lbComSpeed, "Speed 38400"}, {&lbComData, "Data 8"},
            {&lbComParity, "Parity NON"}, {&lbComStop, "Stop 1"}, {&lbComRTS, "RTS"},
            {&lbComDTR, "DTR"}, {&lbComCTS, "CTS"}};
        for (const auto& [label, caption] : captions) label->setCaption(caption);
        cbWrite.setCaption("Write");
        cbWrite.captions.clear();
        cbWrite.colors.clear();
        form = std::make_unique<Form1>(
            Form1Controls{status,    hexFileN,    bootFileN, cbWrite,  h8stat,   lbComSpeed,
                          lbComData, lbComParity, lbComStop, lbComRTS, lbComDTR, lbComCTS,
                          timer1,    timer3,      timer4,    port,     dialog,   messageBox,
                          beeper,    programEnd,  help,      fileSlot, clock,    clock},
            commandLine);
    }

    // Form_Load, then the first tick of the start-up timer.
    void start() {
        form->Form_Load();
        clock.runFor(150 * kNsPerMs);
    }
};

}  // namespace quill::testing
