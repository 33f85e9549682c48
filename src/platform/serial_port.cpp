#include "platform/serial_port.h"

namespace quill {

bool isLineError(CommEvent kind) {
    switch (kind) {
        case CommEvent::DataReceived:
        case CommEvent::CtsChanged:
        case CommEvent::DsrChanged:
        case CommEvent::CarrierDetectChanged:
        case CommEvent::Ring:
        case CommEvent::EndOfFileChar:
        case CommEvent::PortBack:
            return false;
        default:
            return true;
    }
}

const char* commEventName(CommEvent kind) {
    switch (kind) {
        case CommEvent::DataReceived:
            return "data received";
        case CommEvent::CtsChanged:
            return "CTS changed";
        case CommEvent::DsrChanged:
            return "DSR changed";
        case CommEvent::CarrierDetectChanged:
            return "carrier detect changed";
        case CommEvent::Ring:
            return "ring";
        case CommEvent::EndOfFileChar:
            return "end-of-file character";
        case CommEvent::BreakReceived:
            return "break received";
        case CommEvent::FramingError:
            return "framing error";
        case CommEvent::Overrun:
            return "overrun";
        case CommEvent::ReceiveBufferOverflow:
            return "receive buffer overflow";
        case CommEvent::ParityError:
            return "parity error";
        case CommEvent::TransmitBufferFull:
            return "transmit buffer full";
        case CommEvent::OtherError:
            return "another error";
        case CommEvent::PortLost:
            return "port lost";
        case CommEvent::PortBack:
            return "port back";
    }
    return "?";
}

}  // namespace quill
