#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "platform/net/rfc2217.h"
#include "platform/virtual/virtual_serial_port.h"

namespace quill::sim {

// One RFC 2217 client in the place of the host's serial port on the board's cable: what the
// client asks (line settings, DTR, RTS, break, data) reaches the board exactly as from the
// in-process port, and what the port reports (the board's bytes, CTS, line errors) goes
// back to the client. Only bytes in and bytes out: the socket is the caller's.
class ComPortServer {
  public:
    static constexpr std::string_view kServerSignature = "quillmont-board";
    using Send = std::function<void(const std::vector<uint8_t>&)>;

    // Opens the port with both lines off, as a cable just plugged in, and sends the opening
    // negotiation.
    ComPortServer(VirtualSerialPort& port, Send send);
    // Closes the port: the board sees the lines drop, as when the cable is pulled.
    ~ComPortServer();
    ComPortServer(const ComPortServer&) = delete;
    ComPortServer& operator=(const ComPortServer&) = delete;

    void receive(std::span<const uint8_t> bytes);

  private:
    void request(const rfc2217::ComPortMessage& message);
    void control(uint8_t value);
    void setLine(const LineSettings& settings);
    void portEvent(CommEvent kind);
    void notifyModemState(uint8_t delta);
    void answer(uint8_t command, std::span<const uint8_t> value);
    void answer(uint8_t command, uint8_t value) { answer(command, std::span(&value, 1)); }
    void sendData();

    VirtualSerialPort& port_;
    Send send_;
    rfc2217::Session session_{rfc2217::Session::Role::Server};
    uint8_t modemMask_ = rfc2217::kAllModemLines;
    uint8_t lineMask_ = 0;
    bool suspended_ = false;
    std::vector<uint8_t> held_;
};

}  // namespace quill::sim
