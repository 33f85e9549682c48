#include "flash/error_codes.h"
#include "flash/error_messages.h"
#include "platform/characters.h"
#include "platform/line_settings.h"
#include "shell/form1.h"
#include "shell/number_forms.h"

namespace quill {

namespace {
constexpr uint8_t kWakeUp = 0x0D;
constexpr Color kKernelTransferColor = Color::rgb(255, 64, 64);
constexpr int32_t kBlockAnswerMs = 300;

// The text the kernel sent before its last character (the prompt or its answer letter), for
// the console: each received byte is one character there, whatever UTF-8 it may resemble.
std::string withoutLastCharacter(const std::string& text) {
    return latin1ToUtf8(text.empty() ? text : text.substr(0, text.size() - 1));
}
}  // namespace

// The second half of a write: wake the kernel the boot program started, then stream the user
// program to it block by block. The kernel learns of the end only through the user-mode reset.
int32_t Form1::runKernelTransfer(std::string& errorText) {
    consoleWrite("--- Start User Boot Program ---");
    waitMs(10);
    clearReceiveBuffer();
    errorCode = kNoError;
    promptSeen = false;
    MSComm1.write(kWakeUp);
    waitPrompt(afterSending(100, 1));
    if (errorCode == kResponseTimeout) errorCode = kKernelSilent;
    if (errorCode != kNoError) return failureExit(errorText);
    consoleWrite(withoutLastCharacter(receiveText) + "\r\n");

    cbWrite.setBackColor(kKernelTransferColor);
    consoleWrite("send Image(User Program) to H8 ... ");
    if (!fileSlot.open(userFileName)) {
        errorCode = kUserFileUnreadable;
        return failureExit(errorText);
    }
    receiveCount = 0;
    receiveText = "";
    UBwp = 0;
    UBrp = 0;

    for (;;) {
        if (fillUserBuffer() != 0) return failureExit(errorText);
        if (takeBlockAddress() != 0) return failureExit(errorText);
        const bool ranEmpty = fillBlockBuffer();
        buildBlockPacket();

        receiveCount = 0;
        receiveText = "";
        cbWrite.setCaption(hexForm(blockAddress));
        promptSeen = false;
        MSComm1.write(blockPacket);
        waitBlockAnswer();

        // A kernel error letter outranks a stop key or a time-out; a prompt leaves an abort
        // code standing.
        if (receiveCount != 0) {
            std::string answer = withoutLastCharacter(receiveText) + " ";
            if (receiveBuffer[0] == '>') {
                answer = "";
            } else {
                errorCode = kernelAnswerCode(receiveBuffer[0]);
            }
            if (!answer.empty()) consoleWrite(answer);
        }
        if (errorCode == kResponseTimeout) errorCode = kNoBlockAnswer;
        if (errorCode != kNoError) return failureExit(errorText);
        if (ranEmpty) break;
    }

    consoleWrite(" OK\r\n");
    fileSlot.close();
    resetToUserMode();
    return 0;
}

// The kernel's 300 ms run from the record's last character: a slow line must not eat its time
// to program the block. Nor can the kernel answer before it has the whole record: a prompt
// that comes sooner is a doubled or stray character of the exchange before. Taken as the
// answer, it would set every later answer one block off, and the reset after the last block
// would cut that block off while still on the line, behind a reported success. So what came
// before the record was out is dropped and the wait goes on to the same end. The line time
// is a lower bound of when the record is out: an adapter only adds delay.
void Form1::waitBlockAnswer() {
    const int64_t sentNs = clock.nowNs();
    const int32_t answerMs = afterSending(kBlockAnswerMs, int64_t(blockPacket.size()));
    const auto line = parseLineSettings(MSComm1.settings());
    const int64_t outNs = sentNs + (line ? int64_t(blockPacket.size()) * line->charTimeNs() : 0);
    const int64_t deadlineNs = sentNs + int64_t(answerMs) * kNsPerMs;
    waitPrompt(answerMs);
    while (promptSeen && errorCode == kNoError && clock.nowNs() < outNs) {
        receiveCount = 0;
        receiveText = "";
        promptSeen = false;
        waitPrompt(int32_t((deadlineNs - clock.nowNs() + kNsPerMs - 1) / kNsPerMs));
    }
}

}  // namespace quill
