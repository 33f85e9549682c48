#pragma once

#include <cstdint>
#include <vector>

#include "platform/line_settings.h"

namespace quill::wire {

// What a UART makes of one character on the line.
struct Received {
    enum class Kind { Byte, FramingError, ParityError };
    Kind kind = Kind::Byte;
    uint8_t byte = 0;
    friend bool operator==(const Received&, const Received&) = default;
};

// One character sent with `sent` as a receiver set to `receiver` reads it: the sender's
// waveform (start bit, data bits from the lowest, parity, stop bits, then the idle line) is
// sampled in the middle of each of the receiver's bit times, from the falling edge of the
// start bit on. Equal settings give back the byte; a receiver at another speed or format
// reads garbage, a framing error (a stop bit sampled low) or a parity error, and a slow
// character can look like several fast ones to a fast receiver.
std::vector<Received> receiveChar(uint8_t byte, const LineSettings& sent,
                                  const LineSettings& receiver);

}  // namespace quill::wire
