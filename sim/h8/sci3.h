#pragma once

#include <cstdint>
#include <functional>

#include "platform/line_settings.h"

namespace quill::sim::h8 {

// The chip's asynchronous serial interface SCI3 (SMR, BRR, SCR3, TDR, SSR, RDR) and the TXD
// bit of PMR1. Time is the chip's state count. A byte written to TDR moves to the shift
// register when that is free and goes out on the line then; a byte from the line lands in RDR
// and sets RDRF, or sets OER when RDR was still full.
class Sci3 {
  public:
    static constexpr uint16_t kSmr = 0xFFA8, kBrr = 0xFFA9, kScr3 = 0xFFAA, kTdr = 0xFFAB,
                              kSsr = 0xFFAC, kRdr = 0xFFAD, kPmr1 = 0xFFE0;
    static constexpr uint8_t kTdre = 0x80, kRdrf = 0x40, kOer = 0x20, kFer = 0x10, kPer = 0x08,
                             kTend = 0x04, kMpbr = 0x02, kMpbt = 0x01;
    static constexpr uint8_t kTe = 0x20, kRe = 0x10;
    static constexpr uint8_t kPmr1Txd = 0x02;
    // Not sure (the H8/3694 page was not found; other SCI3 chips do so): writing TDR clears
    // TDRE, and reading RDR clears RDRF, besides writing 0 to the flag after reading 1.
    static constexpr bool kWritingTdrClearsTdre = true;
    static constexpr bool kReadingRdrClearsRdrf = true;

    // `send` gets each byte as it starts on the line, with the line's settings and the state
    // count at its start bit.
    using Send = std::function<void(uint8_t byte, const LineSettings&, uint64_t startStates)>;
    Sci3(int64_t clockHz, Send send) : clockHz_(clockHz), send_(std::move(send)) {}

    bool owns(uint16_t address) const {
        return (address >= kSmr && address <= kRdr) || address == kPmr1;
    }
    uint8_t read(uint16_t address, uint64_t states);
    void write(uint16_t address, uint8_t value, uint64_t states);

    // What the boot ROM leaves behind for the program it starts: 8N1 at `bitRate`, transmitter
    // and receiver on, the TXD pin on the line.
    void presetFor(int bitRate);

    // A character from the line, as this SCI3's receiver read it.
    enum class Received { Byte, FramingError, ParityError };
    void receive(uint8_t byte, Received kind, uint64_t states);
    // Starts what the transmitter has due by `states`.
    void sync(uint64_t states);
    // After sync(states): the first state count at which a read may answer differently
    // (TDRE or TEND going to 1), or UINT64_MAX; what the line brings comes from outside.
    uint64_t nextChange(uint64_t states) const;

    // The line as SMR and BRR set it, the speed rounded to a whole bit/s.
    LineSettings lineSettings() const;
    bool receiverOn() const { return scr3_ & kRe; }

  private:
    uint64_t charStates() const;

    int64_t clockHz_;
    Send send_;
    uint8_t smr_ = 0, brr_ = 0xFF, scr3_ = 0, tdr_ = 0xFF, ssr_ = kTdre | kTend, rdr_ = 0;
    uint8_t pmr1_ = 0;
    bool tdrLoaded_ = false;    // TDR written since its last move to the shift register
    uint64_t tdrAt_ = 0;        // when TDRE went to 0
    uint64_t shiftFreeAt_ = 0;  // end of the character in the shift register
};

}  // namespace quill::sim::h8
