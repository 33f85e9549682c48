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

}  // namespace quill
