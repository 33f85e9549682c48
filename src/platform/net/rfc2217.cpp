#include "platform/net/rfc2217.h"

namespace quill::rfc2217 {

std::vector<uint8_t> baudRateValue(uint32_t speed) {
    return {uint8_t(speed >> 24), uint8_t(speed >> 16), uint8_t(speed >> 8), uint8_t(speed)};
}

std::optional<uint32_t> baudRate(std::span<const uint8_t> value) {
    if (value.size() != 4) return std::nullopt;
    return uint32_t(value[0]) << 24 | uint32_t(value[1]) << 16 | uint32_t(value[2]) << 8 |
           value[3];
}

uint8_t parityCode(char letter) {
    switch (letter) {
        case 'O':
            return 2;
        case 'E':
            return 3;
        case 'M':
            return 4;
        case 'S':
            return 5;
        default:
            return 1;
    }
}

std::optional<char> parityLetter(uint8_t code) {
    static constexpr char letters[] = {'N', 'O', 'E', 'M', 'S'};
    if (code < 1 || code > 5) return std::nullopt;
    return letters[code - 1];
}

uint8_t stopSizeCode(int bits) {
    return bits == 2 ? 2 : 1;
}

std::optional<int> stopBits(uint8_t code) {
    if (code == 1 || code == 2) return int(code);
    return std::nullopt;
}

Session::Session(Role role) : role_(role) {
    for (const uint8_t option : {telnet::kBinary, telnet::kSuppressGoAhead}) {
        options_.offer(option);
        options_.ask(option);
    }
    if (role_ == Role::Client) {
        options_.offer(telnet::kComPortOption);
    } else {
        options_.ask(telnet::kComPortOption);
    }
}

std::vector<uint8_t> Session::start() {
    std::vector<uint8_t> out;
    options_.start(out);
    return out;
}

bool Session::comPortReady() const {
    return role_ == Role::Client ? options_.local(telnet::kComPortOption)
                                 : options_.remote(telnet::kComPortOption);
}

bool Session::comPortRefused() const {
    return role_ == Role::Client && options_.localRefused(telnet::kComPortOption);
}

Received Session::receive(std::span<const uint8_t> bytes) {
    Received in;
    std::vector<telnet::Event> events;
    decoder_.feed(bytes, in.data, events);
    for (const telnet::Event& event : events) {
        switch (event.kind) {
            case telnet::Event::Kind::Subnegotiation: {
                if (event.option != telnet::kComPortOption || event.value.empty()) break;
                uint8_t command = event.value[0];
                if (role_ == Role::Client) {
                    // A server's command without its + 100 is none of the client's business.
                    if (command < kServerOffset) break;
                    command = uint8_t(command - kServerOffset);
                } else if (command >= kServerOffset) {
                    break;
                }
                in.messages.push_back(ComPortMessage{
                    command, {event.value.begin() + 1, event.value.end()}, event.dataOffset});
                break;
            }
            case telnet::Event::Kind::Command:
                break;  // NOP, go-ahead and the like carry nothing for a serial line
            default:
                options_.receive(event, in.reply);
                break;
        }
    }
    return in;
}

std::vector<uint8_t> Session::message(uint8_t command, std::span<const uint8_t> value) const {
    std::vector<uint8_t> body;
    body.push_back(role_ == Role::Server ? uint8_t(command + kServerOffset) : command);
    body.insert(body.end(), value.begin(), value.end());
    std::vector<uint8_t> out;
    telnet::appendSubnegotiation(out, telnet::kComPortOption, body);
    return out;
}

std::vector<uint8_t> Session::data(std::span<const uint8_t> bytes) const {
    std::vector<uint8_t> out;
    out.reserve(bytes.size() + 4);
    telnet::appendEscaped(out, bytes);
    return out;
}

std::vector<uint8_t> lineSettingsMessages(const Session& session, const LineSettings& settings,
                                          const std::optional<LineSettings>& before) {
    std::vector<uint8_t> out;
    auto add = [&out](std::vector<uint8_t> bytes) { out.insert(out.end(), bytes.begin(), bytes.end()); };
    if (!before || before->speed != settings.speed)
        add(session.message(kSetBaudRate, baudRateValue(uint32_t(settings.speed))));
    if (!before || before->dataBits != settings.dataBits)
        add(session.message(kSetDataSize, uint8_t(settings.dataBits)));
    if (!before || before->parity != settings.parity)
        add(session.message(kSetParity, parityCode(settings.parity)));
    if (!before || before->stopBits != settings.stopBits)
        add(session.message(kSetStopSize, stopSizeCode(settings.stopBits)));
    return out;
}

}  // namespace quill::rfc2217
