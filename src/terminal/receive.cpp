#include "flash/error_codes.h"
#include "shell/form1.h"
#include "terminal/display_text.h"

namespace quill {

namespace {
constexpr size_t kReceiveTextLimit = 255;
}

void Form1::MSComm1_CommEvent(CommEvent kind) {
    switch (kind) {
        case CommEvent::DataReceived: {
            const std::vector<uint8_t> bytes = MSComm1.readAll();
            for (uint8_t b : bytes) {
                // The buffer holds 256 bytes; the surplus is dropped and the text limit
                // below ends the wait.
                if (receiveCount < int32_t(receiveBuffer.size())) {
                    receiveBuffer[size_t(receiveCount)] = b;
                    receiveCount += 1;
                }
                if (b == newlineCode) {
                    receiveText += "\r\n";
                } else {
                    receiveText.push_back(static_cast<char>(b));
                }
                if (b == promptCode) promptSeen = true;
            }
            if (terminalMode) {
                const std::string shown = displayText(bytes, newlineCode);
                if (auto kept = shortenedConsole(Status.text())) {
                    Status.replaceText(*kept);
                    Status.setCaret(kept->size());
                }
                Status.insertAtCaret(shown);
                receiveText = "";
                receiveCount = 0;
            }
            if (receiveText.size() > kReceiveTextLimit) {
                Timer3.setEnabled(false);
                abortFlag = true;
                errorCode = kTooManyCharacters;
            }
            break;
        }
        case CommEvent::CtsChanged:
            checkH8Power();
            break;
        case CommEvent::PortBack:
            portBack();
            break;
        case CommEvent::DsrChanged:
        case CommEvent::CarrierDetectChanged:
        case CommEvent::Ring:
        case CommEvent::EndOfFileChar:
            break;
        default:
            // A line error: whatever waits is suspect, so it goes, and the wait in progress
            // ends. Timer3 is left alone.
            MSComm1.readAll();
            clearReceiveBuffer();
            beeper.beep();
            errorCode = kReceiveError;
            abortFlag = true;
            if (kind == CommEvent::PortLost) portLost();
            break;
    }
}

}  // namespace quill
