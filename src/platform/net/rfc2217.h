#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/line_settings.h"
#include "platform/net/telnet.h"

namespace quill::rfc2217 {

// The com-port commands, as the client sends them; the server answers with the code + 100.
enum Command : uint8_t {
    kSignature = 0,
    kSetBaudRate = 1,
    kSetDataSize = 2,
    kSetParity = 3,
    kSetStopSize = 4,
    kSetControl = 5,
    kNotifyLineState = 6,
    kNotifyModemState = 7,
    kFlowControlSuspend = 8,
    kFlowControlResume = 9,
    kSetLineStateMask = 10,
    kSetModemStateMask = 11,
    kPurgeData = 12,
};
inline constexpr uint8_t kServerOffset = 100;

// SET-CONTROL values.
inline constexpr uint8_t kRequestFlowControl = 0;
inline constexpr uint8_t kNoFlowControl = 1;
inline constexpr uint8_t kRequestBreak = 4;
inline constexpr uint8_t kBreakOn = 5;
inline constexpr uint8_t kBreakOff = 6;
inline constexpr uint8_t kRequestDtr = 7;
inline constexpr uint8_t kDtrOn = 8;
inline constexpr uint8_t kDtrOff = 9;
inline constexpr uint8_t kRequestRts = 10;
inline constexpr uint8_t kRtsOn = 11;
inline constexpr uint8_t kRtsOff = 12;
inline constexpr uint8_t kRequestInboundFlowControl = 13;
inline constexpr uint8_t kNoInboundFlowControl = 14;

// NOTIFY-MODEMSTATE bits.
inline constexpr uint8_t kModemCts = 0x10;
inline constexpr uint8_t kModemDeltaCts = 0x01;
// NOTIFY-LINESTATE bits of the receive errors.
inline constexpr uint8_t kLineBreak = 0x10;
inline constexpr uint8_t kLineFraming = 0x08;
inline constexpr uint8_t kLineParity = 0x04;
inline constexpr uint8_t kLineOverrun = 0x02;
inline constexpr uint8_t kLineErrors = kLineBreak | kLineFraming | kLineParity | kLineOverrun;
// ser2net notifies only the modem-line changes whose "changed" bit is in the mask: all of them.
inline constexpr uint8_t kAllModemLines = 0xFF;

// PURGE-DATA values.
inline constexpr uint8_t kPurgeReceive = 1;
inline constexpr uint8_t kPurgeTransmit = 2;
inline constexpr uint8_t kPurgeBoth = 3;

// Value codes of the line settings. 0 asks for the current value in every one of them.
std::vector<uint8_t> baudRateValue(uint32_t speed);
std::optional<uint32_t> baudRate(std::span<const uint8_t> value);
uint8_t parityCode(char letter);              // N 1, O 2, E 3, M 4, S 5
std::optional<char> parityLetter(uint8_t code);
uint8_t stopSizeCode(int stopBits);           // 1 → 1, 2 → 2 (3 is one and a half)
std::optional<int> stopBits(uint8_t code);

// A com-port command with its value, either way.
struct ComPortMessage {
    uint8_t command = 0;
    std::vector<uint8_t> value;
    // How many bytes of the data received with it came before it.
    size_t dataOffset = 0;
    friend bool operator==(const ComPortMessage&, const ComPortMessage&) = default;
};

// What a side made of bytes from its peer.
struct Received {
    std::vector<uint8_t> data;
    // The com-port subnegotiations, with the server's + 100 taken off on the client's side.
    std::vector<ComPortMessage> messages;
    // Bytes to send back at once: the answers of the negotiation.
    std::vector<uint8_t> reply;
};

// One side of a Telnet connection carrying COM-PORT-OPTION: the client offers it (WILL 44)
// and the server accepts it (DO 44); both ask for BINARY both ways and SUPPRESS-GO-AHEAD, and
// refuse every other option.
class Session {
  public:
    enum class Role { Client, Server };
    explicit Session(Role role);

    // The opening requests.
    std::vector<uint8_t> start();
    Received receive(std::span<const uint8_t> bytes);
    // True once the peer has agreed to COM-PORT-OPTION; refused() once it has said no.
    bool comPortReady() const;
    bool comPortRefused() const;

    // A com-port command (the client's code: the server's answers get their + 100 here).
    std::vector<uint8_t> message(uint8_t command, std::span<const uint8_t> value) const;
    std::vector<uint8_t> message(uint8_t command, uint8_t value) const {
        return message(command, std::span<const uint8_t>(&value, 1));
    }
    std::vector<uint8_t> data(std::span<const uint8_t> bytes) const;

  private:
    Role role_;
    telnet::Decoder decoder_;
    telnet::Options options_;
};

// The subnegotiations that bring the server's line to `settings`, only for the values that
// differ from `before` (all four when there is no before).
std::vector<uint8_t> lineSettingsMessages(const Session& session, const LineSettings& settings,
                                          const std::optional<LineSettings>& before);

}  // namespace quill::rfc2217
