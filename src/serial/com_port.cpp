#include <stdexcept>

#include "serial/settings_text.h"
#include "shell/form1.h"

namespace quill {

namespace {

constexpr int kPortNumber = 1;
constexpr int kTransmitBufferBytes = 153;  // one block record and some
constexpr int kReceiveBufferBytes = 256;
const char* const kStartSettings = "38400,N,8,1";

// The indexes are compared as unsigned, so a negative one fails too.
template <typename Table>
const std::string& entry(const Table& table, int32_t index, const char* what) {
    if (static_cast<uint32_t>(index) >= table.size())
        throw std::out_of_range(std::string("program error: ") + what + " index out of range");
    return table[static_cast<size_t>(index)];
}

}  // namespace

void Form1::openComPort() {
    MSComm1.selectPort(kPortNumber);
    MSComm1.setBufferSizes(kTransmitBufferBytes, kReceiveBufferBytes);
    MSComm1.setWholeReads();
    MSComm1.setReceiveThreshold(1);
    MSComm1.setNoSendEvents();
    MSComm1.setBinaryInput();
    MSComm1.setRts(true);
    lbComRTS.setCaption("RTS ON");
    MSComm1.setDtr(true);
    lbComDTR.setCaption("DTR ON");
    MSComm1.setSettings(kStartSettings);
    if (!MSComm1.open()) {
        pendingPortMessage_ = portOpenFailedLine(MSComm1.portName(), MSComm1.errorString());
        if (const DeviceAccess access = MSComm1.openAccess(); access.denied)
            pendingPortMessage_ += permissionAdvice({MSComm1.portName()}, access.group) + "\r\n";
    }
}

void Form1::applyComSettings() {
    const std::string text = settingsText(entry(comSpeedTable, comSpeedIndex, "speed"),
                                          entry(comParityTable, comParityIndex, "parity"),
                                          entry(comDataTable, comDataIndex, "data bits"),
                                          entry(comStopTable, comStopIndex, "stop bits"));
    if (!MSComm1.setSettings(text))
        consoleWrite(settingsRefusedLine(MSComm1.portName(), text, MSComm1.errorString()));
}

void Form1::showComSettings() {
    lbComSpeed.setEnabled(true);
    lbComSpeed.setCaption("Speed " + entry(comSpeedTable, comSpeedIndex, "speed"));
    lbComData.setEnabled(true);
    lbComData.setCaption("Data " + entry(comDataTable, comDataIndex, "data bits"));
    lbComParity.setEnabled(true);
    lbComParity.setCaption("Parity " + entry(comParityTable, comParityIndex, "parity"));
    lbComStop.setEnabled(true);
    lbComStop.setCaption("Stop " + entry(comStopTable, comStopIndex, "stop bits"));
}

void Form1::cycleComSpeed() {
    comSpeedIndex = nextIndex(comSpeedIndex, int(comSpeedTable.size()));
    showComSettings();
    applyComSettings();
}

void Form1::cycleComData() {
    comDataIndex = nextIndex(comDataIndex, int(comDataTable.size()));
    showComSettings();
    applyComSettings();
}

void Form1::cycleComParity() {
    comParityIndex = nextIndex(comParityIndex, int(comParityTable.size()));
    showComSettings();
    applyComSettings();
}

void Form1::cycleComStop() {
    comStopIndex = nextIndex(comStopIndex, int(comStopTable.size()));
    showComSettings();
    applyComSettings();
}

void Form1::lbComSpeed_Click() {
    cycleComSpeed();
}
void Form1::lbComData_Click() {
    cycleComData();
}
void Form1::lbComParity_Click() {
    cycleComParity();
}
void Form1::lbComStop_Click() {
    cycleComStop();
}

void Form1::lbComRTS_Click() {
    if (MSComm1.rts()) {
        MSComm1.setRts(false);
        lbComRTS.setCaption("RTS OFF");
    } else {
        MSComm1.setRts(true);
        lbComRTS.setCaption("RTS ON");
    }
}

void Form1::lbComDTR_Click() {
    if (MSComm1.dtr()) {
        MSComm1.setDtr(false);
        lbComDTR.setCaption("DTR OFF");
    } else {
        MSComm1.setDtr(true);
        lbComDTR.setCaption("DTR ON");
    }
}

void Form1::lbComCTS_Click() {
    checkH8Power();
}

}  // namespace quill
