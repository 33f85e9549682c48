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
    CableFaults() = default;
    explicit CableFaults(std::vector<CableFault> plan) : plan_(std::move(plan)) {}

    CableArrival carry(CableFault::Direction direction, uint8_t byte);

    // A prompt character (">") reached the host that the board never sent there: a flipped
    // bit or noise made it. No host can tell it from a real one.
    bool forgedPrompt() const { return forgedPrompt_; }
    // The faults that struck, in words, in the order they struck.
    const std::vector<std::string>& struck() const { return struck_; }
    int64_t carried(CableFault::Direction direction) const {
        return count_[int(direction)];
    }

  private:
    std::vector<CableFault> plan_;
    int64_t count_[2] = {0, 0};
    bool forgedPrompt_ = false;
    std::vector<std::string> struck_;
};

}  // namespace quill
