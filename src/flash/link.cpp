#include <algorithm>

#include "flash/answer_time.h"
#include "flash/error_codes.h"
#include "shell/form1.h"

namespace quill {

void Form1::clearReceiveBuffer() {
    receiveBuffer.fill(0);
    receiveCount = 0;
    receiveText = "";
}

// Each delay keeps its own deadline. A pulse started by a key or click while the write sits
// in a delay runs a delay of its own inside the outer one's yield; Timer4 is armed for the
// nearest deadline, so neither cuts the other short.
void Form1::waitMs(int32_t milliseconds) {
    const int64_t deadline = clock.nowNs() + int64_t(milliseconds) * kNsPerMs;
    delayDeadlinesNs_.push_back(deadline);
    struct Remove {
        std::vector<int64_t>& deadlines;
        int64_t deadline;
        ~Remove() {
            auto it = std::find(deadlines.begin(), deadlines.end(), deadline);
            if (it != deadlines.end()) deadlines.erase(it);
        }
    } remove{delayDeadlinesNs_, deadline};
    waitDone = false;
    armDelayTimer();
    while (clock.nowNs() < deadline) yield.yieldOnce();
    waitDone = true;
}

void Form1::Timer4_Timer() {
    Timer4.setEnabled(false);
    waitDone = true;
    armDelayTimer();
}

void Form1::armDelayTimer() {
    Timer4.setEnabled(false);
    if (delayDeadlinesNs_.empty()) return;
    const int64_t next = *std::min_element(delayDeadlinesNs_.begin(), delayDeadlinesNs_.end());
    const int64_t remaining = next - clock.nowNs();
    // A timer counts whole milliseconds; round up so that it never ends a delay early.
    Timer4.setInterval(int(std::max<int64_t>(1, (remaining + kNsPerMs - 1) / kNsPerMs)));
    Timer4.setEnabled(true);
}

void Form1::Timer3_Timer() {
    Timer3.setEnabled(false);
    abortFlag = true;
    errorCode = kResponseTimeout;
}

uint8_t Form1::readByte(int32_t timeoutMs) {
    uint8_t result = 0;
    abortFlag = false;
    Timer3.setInterval(timeoutMs);
    Timer3.setEnabled(true);
    for (;;) {
        if (abortFlag) break;
        if (receiveCount != 0) {
            result = receiveBuffer[0];
            receiveCount -= 1;
            std::copy(receiveBuffer.begin() + 1, receiveBuffer.begin() + 1 + receiveCount,
                      receiveBuffer.begin());
            break;
        }
        yield.yieldOnce();
    }
    Timer3.setEnabled(false);
    abortFlag = true;
    return result;
}

int32_t Form1::afterSending(int32_t answerMs, int64_t charsWritten) const {
    // The port's own settings text: the line runs at it even when a change was refused.
    const auto line = parseLineSettings(MSComm1.settings());
    return line ? answerTimeoutMs(answerMs, *line, charsWritten) : answerMs;
}

void Form1::waitPrompt(int32_t timeoutMs) {
    abortFlag = false;
    Timer3.setInterval(timeoutMs);
    Timer3.setEnabled(true);
    while (!promptSeen && !abortFlag) yield.yieldOnce();
    Timer3.setEnabled(false);
}

bool Form1::testH8Power() {
    MSComm1.setRts(false);
    MSComm1.setDtr(false);
    waitMs(300);
    const bool powered = MSComm1.cts();
    MSComm1.setDtr(true);
    MSComm1.setRts(true);
    return powered;
}

void Form1::resetH8() {
    MSComm1.setDtr(false);
    waitMs(100);
    MSComm1.setDtr(true);
}

void Form1::nmiToH8() {
    MSComm1.setRts(false);
    waitMs(2);
    MSComm1.setRts(true);
}

void Form1::comBreakPulse() {
    MSComm1.setBreak(true);
    waitMs(300);
    MSComm1.setBreak(false);
}

// RTS must already be off when the reset is released: the chip samples it then to choose
// boot mode.
void Form1::resetToBootMode() {
    MSComm1.setDtr(false);
    waitMs(3);
    MSComm1.setRts(false);
    waitMs(100);
    MSComm1.setDtr(true);
}

void Form1::resetToUserMode() {
    MSComm1.setDtr(false);
    waitMs(3);
    MSComm1.setRts(true);
    waitMs(100);
    MSComm1.setDtr(true);
}

bool Form1::fileExists(const std::string& fileName) {
    if (!fileSlot.open(fileName)) return false;
    fileSlot.close();
    return true;
}

}  // namespace quill
