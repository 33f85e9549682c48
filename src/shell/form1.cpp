#include "shell/form1.h"

namespace quill {

Form1::Form1(const Form1Controls& controls, std::string commandLine)
    : Form1Controls(controls), commandLine_(std::move(commandLine)) {
    Timer1.setTickHandler([this] { Timer1_Timer(); });
    Timer3.setTickHandler([this] { Timer3_Timer(); });
    Timer4.setTickHandler([this] { Timer4_Timer(); });
    MSComm1.setEventHandler([this](CommEvent kind) { MSComm1_CommEvent(kind); });
    HexFileN.setChangeHandler([this] { HexFileN_Change(); });
    BootFileN.setChangeHandler([this] { BootFileN_Change(); });
}

}  // namespace quill
