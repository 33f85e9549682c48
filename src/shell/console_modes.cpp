#include "serial/settings_text.h"
#include "shell/form1.h"

namespace quill {

namespace {
constexpr Color kTerminalText = Color::hex(0x000080);
constexpr Color kWriteText = Color::hex(0x000000);
constexpr Color kPowerOn = Color::hex(0x00C000);
constexpr Color kPowerOff = Color::hex(0xC0C0C0);
}  // namespace

void Form1::consoleWrite(std::string_view text) {
    Status.insertAtCaret(text);
}

void Form1::setTerminalMode() {
    terminalMode = true;
    showComSettings();
    Status.setTextColor(kTerminalText);
}

void Form1::setWriteMode() {
    terminalMode = false;
    Status.setTextColor(kWriteText);
}

void Form1::checkH8Power() {
    if (MSComm1.cts()) {
        H8stat.setBackColor(kPowerOn);
        H8stat.setCaption("H8 Power ON");
        lbComCTS.setCaption("CTS ON");
    } else {
        H8stat.setBackColor(kPowerOff);
        H8stat.setCaption("H8 Power OFF");
        lbComCTS.setCaption("CTS OFF");
    }
}

void Form1::resetScreen() {
    Status.setFocus();
    Status.replaceText("");
    setTerminalMode();
    checkH8Power();
}

// The port's lines come at any moment, also in the middle of a write's step line: they start
// a line of their own.
void Form1::startConsoleLine() {
    if (const std::string text = Status.text(); !text.empty() && text.back() != '\n')
        consoleWrite("\r\n");
}

void Form1::portLost() {
    startConsoleLine();
    consoleWrite(portLostLine(MSComm1.portName(), MSComm1.errorString()));
    checkH8Power();
}

void Form1::portNotice(const std::string& text) {
    if (!startupDone) {
        pendingPortMessage_ += text + "\r\n";
        return;
    }
    startConsoleLine();
    consoleWrite(text + "\r\n");
}

void Form1::portBack() {
    startConsoleLine();
    consoleWrite(
        portBackLine(MSComm1.portName(), MSComm1.settings(), MSComm1.rts(), MSComm1.dtr()));
    checkH8Power();
}

}  // namespace quill
