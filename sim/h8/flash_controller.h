#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "sim/flash_memory.h"

namespace quill::sim::h8 {

// The flash controller (FLMCR1, FLMCR2, FLPWCR, EBR1, FENR) over the flash cells. Programming
// follows the chip's sequence: SWE, the 128 bytes written to their addresses (latched), PSU,
// a P pulse, PSU off; then PV, a dummy write of H'FF to each word and the verify read. Each
// cell takes a number of pulses before its 0 bits hold; stuck cells never change. Every step
// that breaks the rules of the sequence is reported (and the chip does what it would do).
class FlashController {
  public:
    static constexpr uint16_t kFlmcr1 = 0xFF90, kFlmcr2 = 0xFF91, kFlpwcr = 0xFF92, kEbr1 = 0xFF93,
                              kFenr = 0xFF9B;
    static constexpr uint8_t kSwe = 0x40, kEsu = 0x20, kPsu = 0x10, kEv = 0x08, kPv = 0x04,
                             kE = 0x02, kP = 0x01;
    static constexpr uint8_t kFlshe = 0x80;
    static constexpr int kMaxTries = 1000;

    // Not sure (the same flash generation's manuals give these; the H8/3694 page was not
    // found): the P pulse widths of the sequence in microseconds, and how far a pulse may
    // stray from them, as a share.
    static constexpr double kPulseUs = 30, kLongPulseUs = 200, kAdditionalPulseUs = 10;
    static constexpr int kShortPulseTries = 6;  // tries 1-6 take kPulseUs, then kLongPulseUs
    static constexpr double kPulseTolerance = 0.10;
    // Not sure: the erase blocks EB0-EB3 of 1 KB, then EB4 to the end of the flash.
    static constexpr uint16_t kEraseBlockStart[6] = {0x0000, 0x0400, 0x0800,
                                                     0x0C00, 0x1000, 0x8000};

    struct Hooks {
        // A breach of the rules: the flash address concerned (or -1) and what happened.
        std::function<void(int address, const std::string& text)> breach;
        // Cells from..to changed (the CPU's copy of the flash follows).
        std::function<void(uint16_t from, uint16_t to)> changed;
        // Whether the flash may be read as code and as data without the controller.
        std::function<void(bool fetchFree, bool readFree)> access;
    };

    // Each cell needs between minPulses and maxPulses pulses, fixed per address.
    FlashController(FlashMemory& cells, int64_t clockHz, int minPulses, int maxPulses, Hooks hooks);

    bool owns(uint16_t address) const {
        return (address >= kFlmcr1 && address <= kEbr1) || address == kFenr;
    }
    uint8_t read(uint16_t address);
    void write(uint16_t address, uint8_t value, uint64_t states);
    void flashWrite(uint16_t address, uint8_t value, uint64_t states);
    uint8_t flashRead(uint16_t address) const;
    void flashFetch(uint16_t address);

    // P pulses given to the block of `address` in its current sequence.
    int tries(uint16_t address) const;
    int pulsesNeeded(uint16_t address) const;

  private:
    void report(int rule, int address, const std::string& text);
    void setFlmcr1(uint8_t value, uint64_t states);
    void pulse(double widthUs);
    void eraseBlocks();
    bool programMode() const { return (flmcr1_ & kSwe) != 0; }

    FlashMemory& cells_;
    int64_t clockHz_;
    int minPulses_, maxPulses_;
    Hooks hooks_;
    uint8_t flmcr1_ = 0, flpwcr_ = 0, ebr1_ = 0, fenr_ = 0;
    uint64_t pOnAt_ = 0, eOnAt_ = 0;

    std::array<uint8_t, 128> latch_{};
    int latchBlock_ = -1;   // the 128-byte block the latch holds
    int pulsedBlock_ = -1;  // the block of the sequence under way
    int tries_ = 0;
    std::bitset<FlashMemory::kSize / 128> programmed_;  // blocks given a pulse since the erase
    std::vector<uint8_t> pulses_ = std::vector<uint8_t>(FlashMemory::kSize, 0);
    int verifyWord_ = -1;  // the word of the last dummy write in program-verify mode
    std::map<int, int> reports_;
    bool fetchReported_ = false;
    bool twiceReported_ = false;
};

}  // namespace quill::sim::h8
