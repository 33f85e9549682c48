#include "serial/settings_text.h"
#include "shell/form1.h"

namespace quill {

void Form1::Form_Load() {
    // The application title is the constant kAppTitle; message boxes take it from there.
    initVariables();
    int16_t count = getArgument(bootFileName, userFileName);
    if (count >= 2) {
        // Each assignment raises the field's change handler, which copies the text back.
        BootFileN.setText(bootFileName);
        HexFileN.setText(userFileName);
    }
    // Every key reaching the window before the focused control is the window's own wiring.
    openComPort();
    comSpeedIndex = 7;
    comDataIndex = 0;
    comParityIndex = 0;
    comStopIndex = 0;
    applyComSettings();
    Timer1.setInterval(100);
    Timer1.setEnabled(true);
}

void Form1::initVariables() {
    bootFileName = "";
    userFileName = "";
    receiveText = "";
    bootLength = 0;
    bootStartAddress = 0;
    receiveCount = 0;
    errorCode = 0;
    writeBusy = false;
    promptSeen = false;
    startupDone = false;
    abortFlag = true;
    terminalMode = true;
    waitDone = true;
    newlineCode = 13;
    promptCode = '>';
    comSpeedTable = kSpeedEntries;
    comDataTable = kDataEntries;
    comParityTable = kParityEntries;
    comStopTable = kStopEntries;
}

int16_t Form1::getArgument(std::string& arg1, std::string& arg2) {
    arg1 = "";
    arg2 = "";
    // Words are split at every single space: no quoting, and two spaces in a row give an
    // empty word between them.
    std::vector<std::string> words;
    if (!commandLine_.empty()) {
        words.emplace_back();
        for (char c : commandLine_) {
            if (c == ' ') {
                words.emplace_back();
            } else {
                words.back().push_back(c);
            }
        }
    }
    if (words.size() >= 2) {
        arg1 = words[0];
        arg2 = words[1];
    }
    return static_cast<int16_t>(words.size());
}

void Form1::Timer1_Timer() {
    Timer1.setEnabled(false);
    if (!startupDone) {
        resetScreen();
        startupDone = true;
        // A port problem found at start-up is shown only now, so that the reset does not
        // wipe it.
        if (!pendingPortMessage_.empty()) {
            consoleWrite(pendingPortMessage_);
            pendingPortMessage_.clear();
        }
    }
    Timer1.setInterval(100);
    Timer1.setEnabled(true);
}

void Form1::quitProgram() {
    if (MSComm1.isOpen()) MSComm1.close();
    programEnd.endProgram();
    __builtin_unreachable();  // endProgram never returns; the compiler cannot see it
}

void Form1::Form_Unload() {
    quitProgram();
}

}  // namespace quill
