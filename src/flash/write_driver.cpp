#include "flash/error_codes.h"
#include "flash/error_messages.h"
#include "shell/form1.h"
#include "shell/number_forms.h"

namespace quill {

namespace {
constexpr Color kBootTransferColor = Color::rgb(255, 255, 64);
constexpr Color kWriteConsoleText = Color::rgb(160, 0, 0);
}  // namespace

void Form1::writeFlash() {
    if (writeBusy) return;
    writeBusy = true;
    // However the write ends, even by the end of the program inside a wait, the guard and the
    // button's face are put back.
    struct Restore {
        Form1& f;
        ~Restore() {
            f.cbWrite.setBackColor(Color::of(Color::System::ButtonFace));
            f.cbWrite.setCaption("Write");
            f.writeBusy = false;
        }
    } restore{*this};

    cbWrite.setBackColor(kBootTransferColor);
    setWriteMode();
    Status.setTextColor(kWriteConsoleText);
    Status.setFocus();
    if (runWriteSequence() != 0) {
        consoleWrite(" (Failure)\r\n");
    } else {
        consoleWrite("Flash write end ! (Success)\r\n");
    }
    Status.setFocus();
    setTerminalMode();
}

// The one way out of a failed write: report the code, show it, and let the chip run what its
// flash holds.
int32_t Form1::failureExit(std::string& errorText) {
    fileSlot.close();
    errorText = errorMessage(errorCode, ErrorContext{bootFileName, userFileName, bootStartAddress,
                                                     receiveBuffer[0], startAnswer_});
    if (reportShowsRecordLine(errorCode)) consoleWrite("\r\nRecord: " + recordLine + "\r\n");
    consoleWrite(" ? [" + decimalForm(errorCode) + " ] " + errorText + "\r\n");
    messageBox.show(errorText, kAppTitle);
    resetToUserMode();
    return 1;
}

}  // namespace quill
