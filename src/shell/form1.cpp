#include "shell/form1.h"

namespace quill {

Form1::Form1(const Form1Controls& controls, std::string commandLine)
    : c_(controls),
      commandLine_(std::move(commandLine)),
      Status(controls.Status),
      HexFileN(controls.HexFileN),
      BootFileN(controls.BootFileN),
      cbWrite(controls.cbWrite),
      H8stat(controls.H8stat),
      lbComSpeed(controls.lbComSpeed),
      lbComData(controls.lbComData),
      lbComParity(controls.lbComParity),
      lbComStop(controls.lbComStop),
      lbComRTS(controls.lbComRTS),
      lbComDTR(controls.lbComDTR),
      lbComCTS(controls.lbComCTS),
      Timer1(controls.Timer1),
      Timer3(controls.Timer3),
      Timer4(controls.Timer4),
      MSComm1(controls.MSComm1),
      CommonDialog1(controls.CommonDialog1) {
    Timer1.setTickHandler([this] { Timer1_Timer(); });
    Timer3.setTickHandler([this] { Timer3_Timer(); });
    Timer4.setTickHandler([this] { Timer4_Timer(); });
    MSComm1.setEventHandler([this](CommEvent kind) { MSComm1_CommEvent(kind); });
    HexFileN.setChangeHandler([this] { HexFileN_Change(); });
    BootFileN.setChangeHandler([this] { BootFileN_Change(); });
}

}  // namespace quill
