#include "flash/error_codes.h"
#include "shell/form1.h"
#include "terminal/key_translation.h"

namespace quill {

namespace {
constexpr int16_t kKeyW = 87;
constexpr int16_t kKeyF1 = 112;
constexpr int16_t kKeyF5 = 116;
constexpr int16_t kKeyF6 = 117;
constexpr int16_t kKeyF7 = 118;
constexpr int16_t kKeyF8 = 119;
constexpr int16_t kKeyF11 = 122;
constexpr int16_t kKeyF12 = 123;
constexpr int16_t kKeyEsc = 27;
constexpr int16_t kKeyEnter = 13;
}  // namespace

// Every key ends here first, wherever the focus is, and is consumed: no control ever sees a
// key-down. Nothing is echoed; what the user sees of a key is what the target sends back.
void Form1::Form_KeyDown(int16_t& keyCode, int16_t& shift) {
    const bool held = shift != 0;
    const int16_t code = translateKeyCode(keyCode, held);
    if (code == kKeyW) {
        writeFlash();
    } else if (code == kKeyF1) {
        if (!held) showHelp();
    } else if (code == kKeyF5) {
        cycleComSpeed();
    } else if (code == kKeyF6) {
        cycleComData();
    } else if (code == kKeyF7) {
        cycleComParity();
    } else if (code == kKeyF8) {
        cycleComStop();
    } else if (code == kKeyF11) {
        if (held) {
            comBreakPulse();
        } else {
            resetH8();
        }
    } else if (code == kKeyF12) {
        if (held) nmiToH8();
    } else if (code == kKeyEsc) {
        // Esc stops a response wait; at any other moment it ends the program.
        if (!abortFlag) {
            abortFlag = true;
            errorCode = kStopByKey;
        } else {
            quitProgram();
        }
    } else if (code == kKeyEnter || (code >= 32 && code <= 127)) {
        if (terminalMode) MSComm1.write(uint8_t(code));
    }
    keyCode = 0;
}

void Form1::Form_KeyPress(int16_t& keyAscii, bool focusInFileField) {
    if (focusInFileField) {
        // Typing a file name stops the terminal until the next write has ended.
        terminalMode = false;
    } else {
        keyAscii = 0;
    }
}

}  // namespace quill
