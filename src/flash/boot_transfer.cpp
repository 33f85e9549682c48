#include <algorithm>

#include "flash/error_codes.h"
#include "shell/form1.h"
#include "shell/number_forms.h"

namespace quill {

namespace {
constexpr uint8_t kMatchByte = 0x00;
constexpr uint8_t kEraseRequest = 0x55;
constexpr uint8_t kChipReady = 0xAA;  // flash erased; later: the received program starts
constexpr uint8_t kEraseFailure = 0xFF;
constexpr int kMatchTries = 21;
// 19200, 9600, 4800 and 2400 bit/s, the fastest first.
constexpr int32_t kFirstSpeedIndex = 6;
constexpr int32_t kLastSpeedIndex = 3;
}  // namespace

// The first half of a write: files, power, the boot program, boot mode, the bit rate, the
// erase and the boot program's transfer. It goes on with the kernel transfer.
int32_t Form1::runWriteSequence() {
    std::string errorText;
    receiveCount = 0;
    Status.replaceText("");

    if (!fileExists(bootFileName)) {
        errorCode = kBootFileMissing;
        return failureExit(errorText);
    }
    consoleWrite("Boot Program [ " + bootFileName + " ] ... exist\r\n");
    if (!fileExists(userFileName)) {
        errorCode = kUserFileMissing;
        return failureExit(errorText);
    }
    consoleWrite("User Program [ " + userFileName + " ] ... exist\r\n");

    if (!testH8Power()) {
        errorCode = kNoPower;
        return failureExit(errorText);
    }
    consoleWrite("check H8 Power ... ON\r\n");

    consoleWrite("read Boot Program ... ");
    clearBootImage();
    errorCode = kNoError;
    errorText = "";
    if (loadBootProgram(bootFileName) != 0) return failureExit(errorText);
    consoleWrite("[" + decimalForm(bootLength) + " ]  OK\r\n");

    consoleWrite("set H8 to Boot mode ... ");
    resetToBootMode();
    waitMs(300);
    consoleWrite("OK\r\n");

    consoleWrite("set COM Speed ... ");
    receiveCount = 0;
    comDataIndex = 0;
    comParityIndex = 0;
    comStopIndex = 0;
    bool matched = false;
    for (int32_t s = kFirstSpeedIndex; s >= kLastSpeedIndex && !matched; --s) {
        comSpeedIndex = s;
        showComSettings();
        applyComSettings();
        // The line needs a moment at its new speed before the first H'00.
        waitMs(10);
        errorCode = kNoError;
        matched = matchBitRate() == 0;
    }
    if (!matched) {
        errorCode = kNoBitRateMatch;
        return failureExit(errorText);
    }
    consoleWrite(comSpeedTable[size_t(comSpeedIndex)] + " OK\r\n");

    consoleWrite("erace Flash-ROM ... ");
    errorCode = kNoError;
    errorText = "";
    if (confirmErase() != 0) return failureExit(errorText);
    consoleWrite(" OK\r\n");

    consoleWrite("send Length(Boot Program) [" + decimalForm(bootLength) + " ] to H8 ... ");
    errorCode = kNoError;
    if (sendBootLength(bootLength) != 0) return failureExit(errorText);
    consoleWrite(" OK\r\n");

    // The chip echoes each byte before it takes the next.
    consoleWrite("send Image(Boot Program) to H8 ... ");
    receiveCount = 0;
    errorText = "";
    for (int32_t i = 0; i < bootLength; ++i) {
        cbWrite.setCaption(decimalForm(i));
        receiveCount = 0;
        receiveText = "";
        errorCode = kNoError;
        MSComm1.write(bootImage[size_t(i)]);
        const uint8_t echo = readByte(afterSending(100, 1));
        if (echo != bootImage[size_t(i)]) errorCode = kImageEchoWrong;
        if (errorCode != kNoError) return failureExit(errorText);
    }
    consoleWrite(" OK\r\n");

    consoleWrite("waiting Start Boot Program ... ");
    errorCode = kNoError;
    startAnswer_ = readByte(100);
    if (startAnswer_ != kChipReady) {
        errorCode = kNoStartAnswer;
        return failureExit(errorText);
    }
    consoleWrite(" OK\r\n");
    return runKernelTransfer(errorText);
}

// The tries are paced by the delay alone: no time-out and no stop key apply here. Two bytes
// within one pause count as no answer, unless the last of them is H'00: a USB adapter holds
// the chip's bytes for its latency timer (16 ms by default, three or four tries) and then
// hands the answers to several tries over together, a wrong one and the H'00 after it, and
// the chip's last word is the one that counts.
int32_t Form1::matchBitRate() {
    for (int k = 0; k < kMatchTries; ++k) {
        clearReceiveBuffer();
        MSComm1.write(kMatchByte);
        waitMs(5);
        const int32_t stored = std::min<int32_t>(receiveCount, int32_t(receiveBuffer.size()));
        const uint8_t last = stored > 0 ? receiveBuffer[size_t(stored - 1)] : 0;
        if (receiveCount == 1 || (stored > 1 && last == kMatchByte)) {
            if (last == kMatchByte) {
                consoleWrite("[" + decimalForm(k) + " ] ");
                return 0;
            }
            consoleWrite(" ? unknown Response from H8 !\r\n");
            errorCode = kResponseTimeout;
            return 1;
        }
    }
    errorCode = kResponseTimeout;
    return 1;
}

int32_t Form1::confirmErase() {
    int32_t result = 1;
    clearReceiveBuffer();
    MSComm1.write(kEraseRequest);
    abortFlag = false;
    Timer3.setInterval(afterSending(30000, 1));
    Timer3.setEnabled(true);
    while (!abortFlag) {
        if (receiveCount == 1) {
            if (receiveBuffer[0] == kChipReady) {
                result = 0;
            } else if (receiveBuffer[0] == kEraseFailure) {
                errorCode = kEraseFailed;
            } else {
                errorCode = kEraseUnknownAnswer;
            }
            break;
        }
        yield.yieldOnce();
    }
    abortFlag = true;
    Timer3.setEnabled(false);
    return result;
}

// The echo counts only once both bytes are in: a cleared buffer place holds H'00, which
// would pass for the echo of a low byte H'00.
int32_t Form1::sendBootLength(const int32_t& length) {
    const uint8_t high = uint8_t((length >> 8) & 0xFF);
    const uint8_t low = uint8_t(length & 0xFF);
    clearReceiveBuffer();
    MSComm1.write(high);
    MSComm1.write(low);
    abortFlag = false;
    Timer3.setInterval(afterSending(3000, 2));
    Timer3.setEnabled(true);
    for (;;) {
        if (abortFlag) {
            Timer3.setEnabled(false);
            errorCode = receiveCount != 0 ? kLengthEchoDiffers : kResponseTimeout;
            return 1;
        }
        if (receiveCount >= 2 && receiveBuffer[0] == high && receiveBuffer[1] == low) {
            abortFlag = true;
            Timer3.setEnabled(false);
            return 0;
        }
        yield.yieldOnce();
    }
}

}  // namespace quill
