#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace quill::telnet {

inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;

inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kEcho = 1;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPortOption = 44;

// Something other than data in the stream from the peer.
struct Event {
    enum class Kind { Will, Wont, Do, Dont, Subnegotiation, Command };
    Kind kind;
    // The option; for a Command, the command byte (NOP, BRK, GA, ...).
    uint8_t option = 0;
    // The value of a subnegotiation, its doubled H'FF bytes made single again.
    std::vector<uint8_t> value;
    // How many data bytes of the same feed came before it: data and commands keep their order.
    size_t dataOffset = 0;
    friend bool operator==(const Event&, const Event&) = default;
};

// Splits the peer's byte stream into data and events. The state runs on across calls, so
// the stream may be cut anywhere: a TCP read ends where it likes.
class Decoder {
  public:
    // Com-port values are at most a few bytes (a signature text a few dozen): anything longer
    // is a broken or hostile peer, and is dropped whole instead of growing without bound.
    static constexpr size_t kMaxSubnegotiation = 256;

    void feed(std::span<const uint8_t> in, std::vector<uint8_t>& data, std::vector<Event>& events);

  private:
    enum class State { Data, Iac, Verb, SbOption, SbValue, SbIac };
    void command(uint8_t byte, std::vector<uint8_t>& data, std::vector<Event>& events);

    State state_ = State::Data;
    uint8_t verb_ = 0;
    Event sub_{Event::Kind::Subnegotiation, 0, {}, 0};
    bool subTooLong_ = false;
};

// Data for the wire: every H'FF doubled.
void appendEscaped(std::vector<uint8_t>& out, std::span<const uint8_t> data);
void appendNegotiation(std::vector<uint8_t>& out, uint8_t verb, uint8_t option);
// IAC SB option value IAC SE, with the H'FF bytes of the value doubled.
void appendSubnegotiation(std::vector<uint8_t>& out, uint8_t option,
                          std::span<const uint8_t> value);

// The state of each option on both sides, negotiated so that no loop can start: a request
// is sent once, and an option already in the state asked is never answered (RFC 1143).
class Options {
  public:
    // Options this side enables itself (WILL) and asks of the peer (DO); all others are
    // refused.
    void offer(uint8_t option) { offerLocal_[option] = true; }
    void ask(uint8_t option) { askRemote_[option] = true; }
    // Sends the requests for every offered and asked option still off.
    void start(std::vector<uint8_t>& out);
    // Handles WILL, WONT, DO or DONT from the peer; appends the answer, if one is due.
    void receive(const Event& event, std::vector<uint8_t>& out);

    bool local(uint8_t option) const { return local_[option] == State::Yes; }
    bool remote(uint8_t option) const { return remote_[option] == State::Yes; }
    // The peer said no to an option this side offered (DONT) or asked for (WONT).
    bool localRefused(uint8_t option) const { return localRefused_[option]; }

  private:
    enum class State : uint8_t { No, Yes, WantYes };
    std::array<State, 256> local_{};
    std::array<State, 256> remote_{};
    std::array<bool, 256> offerLocal_{};
    std::array<bool, 256> askRemote_{};
    std::array<bool, 256> localRefused_{};
};

}  // namespace quill::telnet
