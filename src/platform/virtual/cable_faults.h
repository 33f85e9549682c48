#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/serial_port.h"

namespace quill {

// A disturbed cable: faults planned at characters counted in each direction since the plan
// was set. The virtual port asks it what becomes of each character on its way.
struct CableFault {
    enum class Direction { ToBoard, ToHost };
    enum class Kind {
        FlipBit,    // one data bit of the character inverted
        Drop,       // the character never arrives
        Double,     // it arrives twice, the copy one character time later
        Noise,      // a burst of other characters follows it
        LineError,  // the receiver's UART reports `error` instead of the character
    };
    Direction direction = Direction::ToBoard;
    int64_t index = 0;  // the character it strikes, from 0, in its direction
    Kind kind = Kind::FlipBit;
    int bit = 0;                 // FlipBit
    std::vector<uint8_t> noise;  // Noise
    CommEvent error = CommEvent::FramingError;  // LineError

    std::string words() const;
};

// What arrives for one character: bytes one character time apart (the first at once), or a
// line error in its place.
struct CableArrival {
    std::vector<uint8_t> bytes;
    bool lineError = false;
    CommEvent error = CommEvent::FramingError;
};

class CableFaults {
  public:
    // A fault that struck: the character it met and what arrived for it.
    struct Strike {
        CableFault fault;
        uint8_t sent = 0;
        CableArrival arrival;
        std::string words() const;
    };

    CableFaults() = default;
    explicit CableFaults(std::vector<CableFault> plan) : plan_(std::move(plan)) {}

    CableArrival carry(CableFault::Direction direction, uint8_t byte);

    // The faults that struck, in the order they struck.
    const std::vector<Strike>& struck() const { return struck_; }

  private:
    std::vector<CableFault> plan_;
    int64_t count_[2] = {0, 0};
    std::vector<Strike> struck_;
};

}  // namespace quill
