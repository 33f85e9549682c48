#include "sim/com_port_server.h"

#include <algorithm>

namespace quill::sim {

using namespace rfc2217;

ComPortServer::ComPortServer(VirtualSerialPort& port, Send send)
    : port_(port), send_(std::move(send)) {
    port_.setDtr(false);
    port_.setRts(false);
    port_.setBreak(false);
    port_.setEventHandler([this](CommEvent kind) { portEvent(kind); });
    port_.open();
    send_(session_.start());
    // The client learns the board's power at once, before it asks for anything.
    notifyModemState(0);
}

ComPortServer::~ComPortServer() {
    port_.setEventHandler(nullptr);
    port_.close();
}

void ComPortServer::receive(std::span<const uint8_t> bytes) {
    Received in = session_.receive(bytes);
    if (!in.reply.empty()) send_(in.reply);
    // A speed change between the H'00 bytes of the bit-rate search must reach the board
    // between them: data and commands go on in the order they came.
    size_t done = 0;
    auto dataUpTo = [&](size_t end) {
        if (end > done) port_.write(std::span(in.data).subspan(done, end - done));
        done = std::max(done, end);
    };
    for (const auto& message : in.messages) {
        dataUpTo(message.dataOffset);
        request(message);
    }
    dataUpTo(in.data.size());
}

void ComPortServer::request(const ComPortMessage& message) {
    const std::vector<uint8_t>& v = message.value;
    LineSettings line = port_.lineSettings();
    switch (message.command) {
        case kSignature:
            if (v.empty()) {
                answer(kSignature,
                       std::span(reinterpret_cast<const uint8_t*>(kServerSignature.data()),
                                 kServerSignature.size()));
            }
            break;
        case kSetBaudRate:
            if (auto speed = baudRate(v); speed && *speed > 0 && *speed <= 4'000'000) {
                line.speed = int(*speed);
                setLine(line);
            }
            answer(kSetBaudRate, baudRateValue(uint32_t(port_.lineSettings().speed)));
            break;
        case kSetDataSize:
            if (v.size() == 1 && v[0] >= 5 && v[0] <= 8) {
                line.dataBits = v[0];
                setLine(line);
            }
            answer(kSetDataSize, uint8_t(port_.lineSettings().dataBits));
            break;
        case kSetParity:
            if (auto letter = v.size() == 1 ? parityLetter(v[0]) : std::nullopt) {
                line.parity = *letter;
                setLine(line);
            }
            answer(kSetParity, parityCode(port_.lineSettings().parity));
            break;
        case kSetStopSize:
            if (auto bits = v.size() == 1 ? stopBits(v[0]) : std::nullopt) {
                line.stopBits = *bits;
                setLine(line);
            }
            answer(kSetStopSize, stopSizeCode(port_.lineSettings().stopBits));
            break;
        case kSetControl:
            if (v.size() == 1) control(v[0]);
            break;
        case kNotifyModemState:
            // A client that asks instead of waiting for the notifications (pyserial polls).
            notifyModemState(0);
            break;
        case kFlowControlSuspend:
            suspended_ = true;
            break;
        case kFlowControlResume:
            suspended_ = false;
            sendData();
            break;
        case kSetLineStateMask:
            if (v.size() == 1) lineMask_ = v[0];
            answer(kSetLineStateMask, lineMask_);
            break;
        case kSetModemStateMask:
            if (v.size() == 1) modemMask_ = v[0];
            answer(kSetModemStateMask, modemMask_);
            break;
        case kPurgeData:
            if (v.size() == 1 && (v[0] == kPurgeReceive || v[0] == kPurgeBoth)) {
                port_.readAll();
                held_.clear();
            }
            // Characters already on the virtual wire towards the board cannot be called back.
            if (v.size() == 1) answer(kPurgeData, v[0]);
            break;
        default:
            break;
    }
}

// Each change is answered with the line's new state once the board has seen it: the port
// hands it to the board at once.
void ComPortServer::control(uint8_t value) {
    switch (value) {
        case kBreakOn:
        case kBreakOff:
            port_.setBreak(value == kBreakOn);
            [[fallthrough]];
        case kRequestBreak:
            answer(kSetControl, port_.breakOn() ? kBreakOn : kBreakOff);
            break;
        case kDtrOn:
        case kDtrOff:
            port_.setDtr(value == kDtrOn);
            [[fallthrough]];
        case kRequestDtr:
            answer(kSetControl, port_.dtr() ? kDtrOn : kDtrOff);
            break;
        case kRtsOn:
        case kRtsOff:
            port_.setRts(value == kRtsOn);
            [[fallthrough]];
        case kRequestRts:
            answer(kSetControl, port_.rts() ? kRtsOn : kRtsOff);
            break;
        default:
            // The board's cable has no handshake lines: flow control is always none.
            answer(kSetControl, value >= kRequestInboundFlowControl ? kNoInboundFlowControl
                                                                    : kNoFlowControl);
            break;
    }
}

void ComPortServer::setLine(const LineSettings& settings) {
    port_.setSettings(settings.text());
}

void ComPortServer::portEvent(CommEvent kind) {
    switch (kind) {
        case CommEvent::DataReceived:
            sendData();
            break;
        case CommEvent::CtsChanged:
            notifyModemState(kModemDeltaCts);
            break;
        default:
            if (!isLineError(kind)) break;
            port_.readAll();  // a UART that reports an error drops what it was reading
            uint8_t bits = 0;
            switch (kind) {
                case CommEvent::BreakReceived:
                    bits = kLineBreak;
                    break;
                case CommEvent::ParityError:
                    bits = kLineParity;
                    break;
                case CommEvent::Overrun:
                case CommEvent::ReceiveBufferOverflow:
                    bits = kLineOverrun;
                    break;
                default:
                    bits = kLineFraming;
                    break;
            }
            if (bits & lineMask_) answer(kNotifyLineState, uint8_t(bits & lineMask_));
            break;
    }
}

// On connect and on a poll the state goes out whole; a change only when its bit is asked for.
void ComPortServer::notifyModemState(uint8_t delta) {
    const uint8_t state = uint8_t((port_.cts() ? kModemCts : 0) | delta);
    if (delta != 0 && (delta & modemMask_) == 0) return;
    answer(kNotifyModemState, delta == 0 ? state : uint8_t(state & modemMask_));
}

void ComPortServer::answer(uint8_t command, std::span<const uint8_t> value) {
    send_(session_.message(command, value));
}

void ComPortServer::sendData() {
    const std::vector<uint8_t> bytes = port_.readAll();
    held_.insert(held_.end(), bytes.begin(), bytes.end());
    if (suspended_ || held_.empty()) return;
    send_(session_.data(held_));
    held_.clear();
}

}  // namespace quill::sim
