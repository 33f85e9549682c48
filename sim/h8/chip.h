#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "sim/flash_memory.h"
#include "sim/h8/cpu.h"
#include "sim/h8/flash_controller.h"
#include "sim/h8/sci3.h"

namespace quill::sim::h8 {

// The H8/3694 as the received program sees it: the CPU with RAM and flash, SCI3, the flash
// controller, and plain storage behind the other I/O registers. Time is counted in states of
// the system clock.
class Chip : public Bus {
  public:
    struct Setup {
        int64_t clockHz = 20'000'000;
        int minPulses = 1, maxPulses = 3;  // P pulses a flash cell needs
    };
    struct Hooks {
        Sci3::Send send;
        // A breach of the flash rules (address or -1).
        std::function<void(int address, const std::string& text)> breach;
    };

    // The flash cells are the board's; the chip reads and programs them.
    Chip(FlashMemory& flash, Setup setup, Hooks hooks);

    Cpu& cpu() { return cpu_; }
    Sci3& sci() { return sci_; }
    FlashController& flashController() { return flashController_; }
    int64_t clockHz() const { return setup_.clockHz; }
    uint64_t states() const { return cpu_.states(); }

    // Copies `image` into RAM from `address` and starts the CPU there.
    void start(uint16_t address, const std::vector<uint8_t>& image);
    // Runs the chip until its clock reaches `states`: the CPU, or time alone while the CPU
    // is stopped. It ends early, parked, when the CPU polls the line in an idle loop beyond
    // the time up to which the line's input is known.
    void runUntil(uint64_t states);
    // Nothing from the line that the chip has not been given arrives before `states`
    // (UINT64_MAX, the start: the chip never parks).
    void inputKnownUntil(uint64_t states) { inputKnown_ = states; }
    bool parked() const { return parked_; }
    // Where the CPU stopped, once it has.
    uint64_t stoppedAt() const { return stoppedAt_; }

    // Bus
    uint8_t ioRead(uint16_t address, uint64_t states) override;
    void ioWrite(uint16_t address, uint8_t value, uint64_t states) override;
    void flashWrite(uint16_t address, uint8_t value, uint64_t states) override;
    uint8_t flashRead(uint16_t address, uint64_t states) override;
    void flashFetch(uint16_t address, uint64_t states) override;
    uint64_t steadyUntil(uint64_t states, uint64_t turnStart) override;
    bool readChanges(uint16_t address) override;

  private:
    FlashMemory& flash_;
    Setup setup_;
    Cpu cpu_;
    Sci3 sci_;
    FlashController flashController_;
    std::array<uint8_t, 0x100> io_{};  // H'F700-H'F77F and H'FF80-H'FFFF, by the low byte
    uint64_t inputKnown_ = UINT64_MAX;
    uint64_t lastLineRead_ = 0;  // the last read of SSR or RDR
    uint64_t stoppedAt_ = 0;
    bool parked_ = false;
};

}  // namespace quill::sim::h8
